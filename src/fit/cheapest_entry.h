// The palette entry of least cost for a colour: its squared distance plus
// a cost of its own (the bits its index takes, see rate_refine.h; none for
// the nearest entry). Shared by the refinements, which map a picture many
// times over.
#pragma once

#include <cstdint>
#include <vector>

#include "format/bitmap.h"

namespace kws {

// A cost is the squared distance in 256ths plus an entry's own cost, in the
// same units, in 64 bits.
inline constexpr int64_t kCostScale = 256;

inline uint32_t ColourKey(const uint8_t* p) { return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]; }

// Looked for from a nearby entry (the hint, say the one the colour before
// took): an entry can cost less than the best so far only when its distance
// is below what the best's cost leaves after the cheapest entry's own cost,
// and by the triangle inequality only entries that near the hint can be that
// near the colour, so only a few of the hint's nearest neighbours are
// measured. Of entries that cost alike, the lowest.
class CheapestEntry {
 public:
  explicit CheapestEntry(const std::vector<Rgb>& palette);

  // own: each entry's own cost; cheapest_own their least.
  uint8_t operator()(uint32_t colour, uint8_t hint, const std::vector<int64_t>& own, int64_t cheapest_own) const;

 private:
  struct Neighbour {
    float distance;
    uint8_t index;
  };

  const std::vector<Rgb>& palette_;
  size_t size_;
  std::vector<Neighbour> neighbours_;  // for each entry, every entry nearest first
};

int SquaredDistance(uint32_t colour, const Rgb& c);

}  // namespace kws
