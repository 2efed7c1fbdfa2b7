#include "fit/palette_refine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace kws {

namespace {

int Distance(const uint8_t* p, const Rgb& c) {
  const int dr = p[0] - c.r, dg = p[1] - c.g, db = p[2] - c.b;
  return dr * dr + dg * dg + db * db;
}

// The nearest palette entry to a colour, looked for from a nearby entry (the
// one the pixel before took): by the triangle inequality, an entry further
// from that one than both distances together cannot be nearer, so only a few
// of the nearest neighbours of the hint are ever measured.
class NearestEntry {
 public:
  explicit NearestEntry(const std::vector<Rgb>& palette) : palette_(palette), size_(palette.size()) {
    neighbours_.resize(size_ * size_);
    for (size_t i = 0; i < size_; ++i) {
      const uint8_t from[3] = {palette[i].r, palette[i].g, palette[i].b};
      Neighbour* row = neighbours_.data() + i * size_;
      for (size_t j = 0; j < size_; ++j) {
        row[j] = {std::sqrt(static_cast<float>(Distance(from, palette[j]))), static_cast<uint8_t>(j)};
      }
      std::sort(row, row + size_);
    }
  }

  uint8_t operator()(const uint8_t* pixel, uint8_t hint) const {
    uint8_t best = hint;
    int best_distance = Distance(pixel, palette_[hint]);
    const float hint_radius = std::sqrt(static_cast<float>(best_distance));
    float reach = 2 * hint_radius + kMargin;
    const Neighbour* row = neighbours_.data() + size_t{hint} * size_;
    for (size_t k = 1; k < size_ && row[k].distance <= reach; ++k) {
      const uint8_t j = row[k].index;
      const int d = Distance(pixel, palette_[j]);
      if (d < best_distance || (d == best_distance && j < best)) {
        best = j;
        best_distance = d;
        reach = hint_radius + std::sqrt(static_cast<float>(d)) + kMargin;
      }
    }
    return best;
  }

 private:
  struct Neighbour {
    float distance;
    uint8_t index;
    bool operator<(const Neighbour& o) const {
      return distance < o.distance || (distance == o.distance && index < o.index);
    }
  };
  // Square roots are rounded: an entry at exactly the reach is measured too.
  static constexpr float kMargin = 0.01f;

  const std::vector<Rgb>& palette_;
  size_t size_;
  std::vector<Neighbour> neighbours_;  // for each entry, every entry nearest first
};

}  // namespace

void MapToNearest(const RgbaPicture& image, Picture8& picture) {
  const NearestEntry nearest(picture.palette);
  const size_t width = static_cast<size_t>(picture.width);
  picture.pixels.resize(width * static_cast<size_t>(picture.height));
  uint8_t hint = 0;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = image.Row(y);
    uint8_t* to = picture.pixels.data() + static_cast<size_t>(y) * width;
    // A row starts from the entry above it, which is nearer than the end of
    // the row before.
    if (y > 0) hint = to[-static_cast<ptrdiff_t>(width)];
    for (size_t x = 0; x < width; ++x) hint = to[x] = nearest(row + 4 * x, hint);
  }
}

void MoveToMeans(const RgbaPicture& image, Picture8& picture) {
  std::vector<std::array<uint64_t, 4>> sums(picture.palette.size(), {0, 0, 0, 0});
  const size_t width = static_cast<size_t>(picture.width);
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = image.Row(y);
    const uint8_t* indices = picture.pixels.data() + static_cast<size_t>(y) * width;
    for (size_t x = 0; x < width; ++x) {
      std::array<uint64_t, 4>& sum = sums[indices[x]];
      for (int k = 0; k < 3; ++k) sum[k] += row[4 * x + k];
      ++sum[3];
    }
  }
  std::array<uint8_t, kMaxPaletteColors> renumbered{};
  std::vector<Rgb> kept;
  for (size_t i = 0; i < sums.size(); ++i) {
    const std::array<uint64_t, 4>& sum = sums[i];
    if (sum[3] == 0) continue;
    const auto mean = [&](int k) { return static_cast<uint8_t>((sum[k] + sum[3] / 2) / sum[3]); };
    renumbered[i] = static_cast<uint8_t>(kept.size());
    kept.push_back({mean(0), mean(1), mean(2)});
  }
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
