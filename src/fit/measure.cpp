#include "fit/measure.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

namespace kws {

std::optional<Picture8> ExactColors(const RgbaPicture& canvas) {
  Picture8 picture;
  picture.width = canvas.width;
  picture.height = canvas.height;
  picture.pixels.reserve(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height));
  std::unordered_map<uint32_t, uint8_t> index;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = canvas.Row(y);
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t* p = row + 4 * x;
      const uint32_t key = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
      auto [at, added] = index.try_emplace(key, static_cast<uint8_t>(picture.palette.size()));
      if (added) {
        if (picture.palette.size() == kMaxPaletteColors) return std::nullopt;
        picture.palette.push_back({p[0], p[1], p[2]});
      }
      picture.pixels.push_back(at->second);
    }
  }
  return picture;
}

double Psnr(const RgbaPicture& canvas, const Picture8& picture) {
  uint64_t squared = 0;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = canvas.Row(y);
    const uint8_t* indices = picture.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(picture.width);
    for (int x = 0; x < picture.width; ++x) {
      const Rgb c = indices[x] < picture.palette.size() ? picture.palette[indices[x]] : Rgb{};
      const uint8_t* p = row + 4 * x;
      const int dr = p[0] - c.r, dg = p[1] - c.g, db = p[2] - c.b;
      squared += static_cast<uint64_t>(dr * dr + dg * dg + db * db);
    }
  }
  if (squared == 0) return std::numeric_limits<double>::infinity();
  const double mse = static_cast<double>(squared) / (3.0 * picture.width * picture.height);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace kws
