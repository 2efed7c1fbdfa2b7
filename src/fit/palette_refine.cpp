#include "fit/palette_refine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "fit/cheapest_entry.h"
#include "fit/colour_sum.h"

namespace kws {

void MapToNearest(const RgbaPicture& image, Picture8& picture) {
  const CheapestEntry cheapest(picture.palette);
  const std::vector<int64_t> none(picture.palette.size(), 0);
  const size_t width = static_cast<size_t>(picture.width);
  picture.pixels.resize(width * static_cast<size_t>(picture.height));
  uint8_t hint = 0;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = image.Row(y);
    uint8_t* to = picture.pixels.data() + static_cast<size_t>(y) * width;
    // A row starts from the entry above it, which is nearer than the end of
    // the row before.
    if (y > 0) hint = to[-static_cast<ptrdiff_t>(width)];
    for (size_t x = 0; x < width; ++x) hint = to[x] = cheapest(ColourKey(row + 4 * x), hint, none, 0);
  }
}

void MoveToMeans(const RgbaPicture& image, Picture8& picture) {
  std::vector<ColourSum> sums(picture.palette.size());
  const size_t width = static_cast<size_t>(picture.width);
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = image.Row(y);
    const uint8_t* indices = picture.pixels.data() + static_cast<size_t>(y) * width;
    for (size_t x = 0; x < width; ++x) sums[indices[x]].Add(ColourKey(row + 4 * x), 1);
  }
  std::array<uint8_t, kMaxPaletteColors> renumbered{};
  std::vector<Rgb> kept = KeptMeans(sums, renumbered);
  if (kept.size() != picture.palette.size()) {
    for (uint8_t& index : picture.pixels) index = renumbered[index];
  }
  picture.palette = std::move(kept);
}

void RefineColors(const RgbaPicture& image, Picture8& picture, int rounds) {
  MapToNearest(image, picture);
  for (int round = 0; round < rounds; ++round) {
    MoveToMeans(image, picture);
    MapToNearest(image, picture);
  }
}

}  // namespace kws
