#include "fit/palette_order.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace kws {

namespace {

using Compare = int (*)(const void*, const void*);

// Sorts count elements at base, with tmp as scratch of the same size: the
// halves first, then merged, ties going to the first half.
void MergeSort(char* base, size_t count, size_t size, Compare compare, char* tmp) {
  if (count <= 1) return;
  const size_t n1 = count / 2;
  const size_t n2 = count - n1;
  char* b1 = base;
  char* b2 = base + n1 * size;
  MergeSort(b1, n1, size, compare, tmp);
  MergeSort(b2, n2, size, compare, tmp);
  size_t left = n1;
  size_t right = n2;
  char* out = tmp;
  while (left > 0 && right > 0) {
    if (compare(b1, b2) <= 0) {
      std::memcpy(out, b1, size);
      b1 += size;
      --left;
    } else {
      std::memcpy(out, b2, size);
      b2 += size;
      --right;
    }
    out += size;
  }
  // What is left of the second half already stands where it belongs.
  if (left > 0) std::memcpy(out, b1, left * size);
  std::memcpy(base, tmp, (count - right) * size);
}

// Without room for the scratch copy: an insertion sort in place, slower but
// just as much the same on every platform.
void InsertionSort(char* base, size_t count, size_t size, Compare compare) {
  for (size_t i = 1; i < count; ++i) {
    for (size_t j = i; j > 0 && compare(base + (j - 1) * size, base + j * size) > 0; --j) {
      for (size_t b = 0; b < size; ++b) std::swap(base[(j - 1) * size + b], base[j * size + b]);
    }
  }
}

}  // namespace

void OrderedSort(void* base, size_t count, size_t size, Compare compare) {
  if (count <= 1 || size == 0) return;
  char* const elements = static_cast<char*>(base);
  void* const tmp = count <= std::numeric_limits<size_t>::max() / size ? std::malloc(count * size) : nullptr;
  if (!tmp) {
    InsertionSort(elements, count, size, compare);
    return;
  }
  MergeSort(elements, count, size, compare, static_cast<char*>(tmp));
  std::free(tmp);
}

void UseOrderedSort() {}

}  // namespace kws

// Takes the C library's place for the whole program, libimagequant included.
extern "C" void qsort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*)) {
  kws::OrderedSort(base, count, size, compare);
}
