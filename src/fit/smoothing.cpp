#include "fit/smoothing.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kws {

RgbaPicture Smoothed(const RgbaPicture& canvas, int passes) {
  RgbaPicture out = canvas;
  const int w = out.width, h = out.height;
  std::vector<uint8_t> across(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  for (int pass = 0; pass < passes; ++pass) {
    for (int y = 0; y < h; ++y) {
      const uint8_t* row = out.Row(y);
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
      uint8_t* to = out.Row(y);
      for (int i = 0; i < w * 4; ++i) to[i] = static_cast<uint8_t>((up[i] + 2 * mid[i] + down[i] + 2) / 4);
    }
  }
  return out;
}

RgbaPicture Blended(const RgbaPicture& canvas, const RgbaPicture& smoothed, int steps) {
  if (steps <= 0) return canvas;
  if (steps >= kSmoothingSteps) return smoothed;
  RgbaPicture out = canvas;
  const int keep = kSmoothingSteps - steps;
  for (size_t i = 0; i < out.rgba.size(); ++i) {
    out.rgba[i] =
        static_cast<uint8_t>((out.rgba[i] * keep + smoothed.rgba[i] * steps + kSmoothingSteps / 2) / kSmoothingSteps);
  }
  return out;
}

}  // namespace kws
