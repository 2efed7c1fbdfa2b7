#include "picture/smoothing.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kws {

QImage Smoothed(const QImage& canvas, int passes) {
  QImage out = canvas.convertToFormat(QImage::Format_RGBA8888);
  const int w = out.width(), h = out.height();
  std::vector<uint8_t> across(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < h; ++y) {
      const uchar* row = out.constScanLine(y);
      uint8_t* to = across.data() + static_cast<size_t>(y) * w * 4;
      for (int x = 0; x < w; ++x) {
        const int l = std::max(x - 1, 0) * 4, c = x * 4, r = std::min(x + 1, w - 1) * 4;
        for (int k = 0; k < 4; ++k) {
          to[c + k] = static_cast<uint8_t>((row[l + k] + 2 * row[c + k] + row[r + k] + 2) / 4);
        }
      }
    }
    for (int y = 0; y < h; ++y) {
      const uint8_t* up = across.data() + static_cast<size_t>(std::max(y - 1, 0)) * w * 4;
      const uint8_t* mid = across.data() + static_cast<size_t>(y) * w * 4;
      const uint8_t* down = across.data() + static_cast<size_t>(std::min(y + 1, h - 1)) * w * 4;
      uchar* to = out.scanLine(y);
      for (int i = 0; i < w * 4; ++i) to[i] = static_cast<uint8_t>((up[i] + 2 * mid[i] + down[i] + 2) / 4);
    }
  }
  return out;
}

QImage Blended(const QImage& canvas, const QImage& smoothed, int steps) {
  QImage out = canvas.convertToFormat(QImage::Format_RGBA8888);
  if (steps <= 0) return out;
  const QImage to = smoothed.convertToFormat(QImage::Format_RGBA8888);
  if (steps >= kSmoothingSteps) return to;
  const int keep = kSmoothingSteps - steps;
  for (int y = 0; y < out.height(); ++y) {
    uchar* row = out.scanLine(y);
    const uchar* target = to.constScanLine(y);
    for (int i = 0; i < out.width() * 4; ++i) {
      row[i] = static_cast<uchar>((row[i] * keep + target[i] * steps + kSmoothingSteps / 2) / kSmoothingSteps);
    }
  }
  return out;
}

}  // namespace kws
