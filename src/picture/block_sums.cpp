#include "picture/block_sums.h"

#include <algorithm>

namespace kws {

BlockSums::BlockSums(int width, int factor)
    : width_(width), factor_(factor), sums_(static_cast<size_t>((width + factor - 1) / factor) * 5, 0) {}

void BlockSums::Add(const uint8_t* rgba) {
  for (int x = 0; x < width_; ++x) {
    const uint8_t* p = rgba + 4 * x;
    uint64_t* s = sums_.data() + static_cast<size_t>(x / factor_) * 5;
    const uint64_t a = p[3];
    s[0] += p[0] * a;
    s[1] += p[1] * a;
    s[2] += p[2] * a;
    s[3] += a;
    s[4] += 1;
  }
}

void BlockSums::Emit(uchar* out) {
  for (size_t b = 0; b < sums_.size() / 5; ++b) {
    uint64_t* s = sums_.data() + b * 5;
    const uint64_t alpha = s[3], count = s[4];
    for (int k = 0; k < 3; ++k) out[4 * b + k] = alpha == 0 ? 0 : static_cast<uchar>((s[k] + alpha / 2) / alpha);
    out[4 * b + 3] = count == 0 ? 0 : static_cast<uchar>((alpha + count / 2) / count);
    std::fill(s, s + 5, 0);
  }
}

}  // namespace kws
