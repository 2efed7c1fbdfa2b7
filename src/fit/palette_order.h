// libimagequant sorts its palette by popularity with qsort and a comparison
// that never says "equal", so colours of equal popularity come out in the
// order of the C library's sort: glibc's merge sort, musl's smoothsort and
// other systems' sorts all differ. The import supplies qsort itself, as
// glibc's merge sort does it (split in halves, the first half's element taken
// first unless the comparison says it is greater), so the same picture gives
// the same bitmap on every platform and in the browser alike.
#pragma once

#include <cstddef>

namespace kws {

// The sort that every qsort call of the program runs.
void OrderedSort(void* base, size_t count, size_t size, int (*compare)(const void*, const void*));

// Nothing but a reference that keeps this sort in every program that
// quantises, so that it takes the place of the C library's qsort there.
void UseOrderedSort();

}  // namespace kws
