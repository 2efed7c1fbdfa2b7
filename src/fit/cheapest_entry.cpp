#include "fit/cheapest_entry.h"

#include <algorithm>
#include <cmath>

namespace kws {

namespace {

// Square roots are rounded: an entry at exactly the reach is measured too.
constexpr float kMargin = 0.01f;

// The farthest an entry can be and still cost less than cost.
float Radius(int64_t cost, int64_t cheapest_own) {
  const int64_t room = cost - cheapest_own;
  return room <= 0 ? 0.0f : std::sqrt(static_cast<float>(room) / kCostScale);
}

}  // namespace

int SquaredDistance(uint32_t colour, const Rgb& c) {
  const int dr = static_cast<int>(colour >> 16) - c.r, dg = static_cast<int>((colour >> 8) & 0xff) - c.g,
            db = static_cast<int>(colour & 0xff) - c.b;
  return dr * dr + dg * dg + db * db;
}

CheapestEntry::CheapestEntry(const std::vector<Rgb>& palette) : palette_(palette), size_(palette.size()) {
  neighbours_.resize(size_ * size_);
  // Sorted as whole numbers, each squared distance above its entry's index:
  // the order of the distances with ties to the lower index, as the
  // neighbours themselves would sort (the square root keeps apart the
  // distinct squares of colours), at a fraction of the cost.
  constexpr int kIndexBits = 8;
  std::vector<uint32_t> keyed(size_);
  for (size_t i = 0; i < size_; ++i) {
    const uint32_t from = uint32_t{palette[i].r} << 16 | uint32_t{palette[i].g} << 8 | palette[i].b;
    for (size_t j = 0; j < size_; ++j) {
      keyed[j] = static_cast<uint32_t>(SquaredDistance(from, palette[j])) << kIndexBits | static_cast<uint32_t>(j);
    }
    std::sort(keyed.begin(), keyed.end());
    Neighbour* row = neighbours_.data() + i * size_;
    for (size_t k = 0; k < size_; ++k) {
      row[k] = {std::sqrt(static_cast<float>(keyed[k] >> kIndexBits)), static_cast<uint8_t>(keyed[k])};
    }
  }
}

uint8_t CheapestEntry::operator()(uint32_t colour, uint8_t hint, const std::vector<int64_t>& own,
                                  int64_t cheapest_own) const {
  uint8_t best = hint;
  const int hint_distance = SquaredDistance(colour, palette_[hint]);
  int64_t best_cost = hint_distance * kCostScale + own[hint];
  const float hint_radius = std::sqrt(static_cast<float>(hint_distance));
  const Neighbour* row = neighbours_.data() + size_t{hint} * size_;
  float reach = hint_radius + Radius(best_cost, cheapest_own) + kMargin;
  for (size_t k = 1; k < size_ && row[k].distance <= reach; ++k) {
    const uint8_t j = row[k].index;
    const int64_t cost = SquaredDistance(colour, palette_[j]) * kCostScale + own[j];
    if (cost < best_cost || (cost == best_cost && j < best)) {
      best = j;
      best_cost = cost;
      reach = hint_radius + Radius(best_cost, cheapest_own) + kMargin;
    }
  }
  return best;
}

}  // namespace kws
