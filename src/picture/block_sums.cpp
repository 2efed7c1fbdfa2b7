#include "picture/block_sums.h"

#include <algorithm>

namespace kws {

BlockSums::BlockSums(int width, int factor)
    : width_(width), factor_(factor), sums_(static_cast<size_t>((width + factor - 1) / factor) * 5, 0) {}

void BlockSums::Add(const uint8_t* pixels, int channels) {
  if (channels == 3) {
    AddRow<3>(pixels);
  } else {
    AddRow<4>(pixels);
  }
}

template <int kChannels>
void BlockSums::AddRow(const uint8_t* pixels) {
  // A block's part of the row is summed apart first: a huge picture's every
  // pixel passes here, and the sums in memory are touched once a block.
  uint64_t* s = sums_.data();
  for (int left = 0; left < width_; left += factor_, s += 5) {
    const int right = std::min(width_, left + factor_);
    uint64_t r = 0, g = 0, b = 0, alpha = 0;
    for (const uint8_t* p = pixels + kChannels * left; p < pixels + kChannels * right; p += kChannels) {
      const uint64_t a = kChannels == 4 ? p[3] : 255;
      r += p[0] * a;
      g += p[1] * a;
      b += p[2] * a;
      alpha += a;
    }
    s[0] += r;
    s[1] += g;
    s[2] += b;
    s[3] += alpha;
    s[4] += static_cast<uint64_t>(right - left);
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

std::optional<QImage> ShrinkByStrips(int width, int height, int factor, uint64_t row_bytes, bool bottom_first,
                                     const ReadStrip& strip) {
  const int blocks_across = (width + factor - 1) / factor, blocks_down = (height + factor - 1) / factor;
  QImage image(blocks_across, blocks_down, QImage::Format_RGBA8888);
  if (image.isNull()) return std::nullopt;
  const int strip_blocks = static_cast<int>(
      std::clamp<uint64_t>((uint64_t{1} << 20) / (row_bytes * uint64_t(factor)), 1, uint64_t(blocks_down)));
  const int strips = (blocks_down + strip_blocks - 1) / strip_blocks;
  BlockSums blocks(width, factor);
  for (int i = 0; i < strips; ++i) {
    const int s = bottom_first ? strips - 1 - i : i;
    const int top = s * strip_blocks * factor;
    const int count = std::min(height, top + strip_blocks * factor) - top;
    const QImage rows = strip(top, count);
    if (rows.isNull()) return std::nullopt;
    for (int y = 0; y < count; ++y) {
      blocks.Add(rows.constScanLine(y));
      const int row = top + y;
      if ((row + 1) % factor == 0 || row + 1 == height) blocks.Emit(image.scanLine(row / factor));
    }
  }
  return image;
}

}  // namespace kws
