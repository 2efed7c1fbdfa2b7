// Colours summed with their pixels, for the mean a palette entry (or a group
// of colours) moves to: integer sums, the mean rounded to the nearest level,
// so that every platform refines alike.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "format/bitmap.h"

namespace kws {

struct ColourSum {
  uint64_t red = 0, green = 0, blue = 0, pixels = 0;

  // colour as 0xRRGGBB, shown by count pixels.
  void Add(uint32_t colour, uint64_t count) {
    red += (colour >> 16) * count;
    green += ((colour >> 8) & 0xff) * count;
    blue += (colour & 0xff) * count;
    pixels += count;
  }
  // Only for a sum of at least one pixel.
  Rgb Mean() const {
    const auto mean = [this](uint64_t sum) { return static_cast<uint8_t>((sum + pixels / 2) / pixels); };
    return {mean(red), mean(green), mean(blue)};
  }
};

// The means of the entries' sums, entries no pixel takes dropped; renumbered
// gives each entry's place among those kept.
inline std::vector<Rgb> KeptMeans(const std::vector<ColourSum>& sums,
                                  std::array<uint8_t, kMaxPaletteColors>& renumbered) {
  std::vector<Rgb> kept;
  for (size_t j = 0; j < sums.size(); ++j) {
    if (sums[j].pixels == 0) continue;
    renumbered[j] = static_cast<uint8_t>(kept.size());
    kept.push_back(sums[j].Mean());
  }
  return kept;
}

}  // namespace kws
