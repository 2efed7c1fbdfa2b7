#include "fit/rate_refine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <utility>

namespace kws {

namespace {

// A cost is the squared distance in 256ths plus the rate times the bits in
// 256ths: both sides in the same units, in 64 bits.
constexpr int64_t kScale = 256;

uint32_t Key(const uint8_t* p) { return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]; }

int Distance(uint32_t colour, const Rgb& c) {
  const int dr = static_cast<int>(colour >> 16) - c.r, dg = static_cast<int>((colour >> 8) & 0xff) - c.g,
            db = static_cast<int>(colour & 0xff) - c.b;
  return dr * dr + dg * dg + db * db;
}

// The entry of least cost for a colour, looked for from a nearby entry (the
// hint): an entry can cost less than the best so far only when its distance
// is below what the best's cost leaves after the cheapest bits, and by the
// triangle inequality only entries that near the hint can be that near the
// colour, so only a few of the hint's nearest neighbours are measured.
class CheapestEntry {
 public:
  explicit CheapestEntry(const std::vector<Rgb>& palette) : palette_(palette), size_(palette.size()) {
    neighbours_.resize(size_ * size_);
    for (size_t i = 0; i < size_; ++i) {
      const uint32_t from = uint32_t{palette[i].r} << 16 | uint32_t{palette[i].g} << 8 | palette[i].b;
      Neighbour* row = neighbours_.data() + i * size_;
      for (size_t j = 0; j < size_; ++j) {
        row[j] = {std::sqrt(static_cast<float>(Distance(from, palette[j]))), static_cast<uint8_t>(j)};
      }
      std::sort(row, row + size_);
    }
  }

  // bits: each entry's rate times bits, in the cost's units; cheapest_bits
  // their least.
  uint8_t operator()(uint32_t colour, uint8_t hint, const std::vector<int64_t>& bits, int64_t cheapest_bits) const {
    uint8_t best = hint;
    const int hint_distance = Distance(colour, palette_[hint]);
    int64_t best_cost = hint_distance * kScale + bits[hint];
    const float hint_radius = std::sqrt(static_cast<float>(hint_distance));
    const Neighbour* row = neighbours_.data() + size_t{hint} * size_;
    float reach = hint_radius + Radius(best_cost, cheapest_bits) + kMargin;
    for (size_t k = 1; k < size_ && row[k].distance <= reach; ++k) {
      const uint8_t j = row[k].index;
      const int64_t cost = Distance(colour, palette_[j]) * kScale + bits[j];
      if (cost < best_cost || (cost == best_cost && j < best)) {
        best = j;
        best_cost = cost;
        reach = hint_radius + Radius(best_cost, cheapest_bits) + kMargin;
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
  // The farthest an entry can be and still cost less than cost.
  static float Radius(int64_t cost, int64_t cheapest_bits) {
    const int64_t room = cost - cheapest_bits;
    return room <= 0 ? 0.0f : std::sqrt(static_cast<float>(room) / kScale);
  }
  // Square roots are rounded: an entry at exactly the reach is measured too.
  static constexpr float kMargin = 0.01f;

  const std::vector<Rgb>& palette_;
  size_t size_;
  std::vector<Neighbour> neighbours_;
};

using Assignment = std::vector<uint8_t>;  // an entry for each colour of the counts

Assignment Assign(const ColourCounts& counts, const std::vector<Rgb>& palette, const std::vector<int64_t>& bits) {
  const CheapestEntry cheapest(palette);
  const int64_t cheapest_bits = *std::min_element(bits.begin(), bits.end());
  Assignment assignment(counts.colours.size());
  uint8_t hint = 0;
  for (size_t i = 0; i < counts.colours.size(); ++i) {
    hint = assignment[i] = cheapest(counts.colours[i], hint, bits, cheapest_bits);
  }
  return assignment;
}

// Each entry's rate times its bits, -log2 of its share of the pixels; an
// entry no colour takes costs a bit more than one a single pixel takes.
std::vector<int64_t> Bits(const ColourCounts& counts, const Assignment& assignment, size_t entries, int rate) {
  std::vector<uint64_t> taken(entries, 0);
  for (size_t i = 0; i < assignment.size(); ++i) taken[assignment[i]] += counts.counts[i];
  const int64_t all = Log2In256ths(counts.pixels);
  std::vector<int64_t> bits(entries);
  for (size_t j = 0; j < entries; ++j) {
    const int64_t share = taken[j] == 0 ? all + kScale : all - Log2In256ths(taken[j]);
    bits[j] = rate * share;
  }
  return bits;
}

// Each entry moved to the mean of the colours that take it, weighed by
// their pixels; entries nothing takes dropped and the assignment renumbered.
std::vector<Rgb> MoveToMeans(const ColourCounts& counts, const std::vector<Rgb>& palette, Assignment& assignment) {
  std::vector<std::array<uint64_t, 4>> sums(palette.size(), {0, 0, 0, 0});
  for (size_t i = 0; i < assignment.size(); ++i) {
    const uint32_t c = counts.colours[i];
    const uint64_t n = counts.counts[i];
    std::array<uint64_t, 4>& sum = sums[assignment[i]];
    sum[0] += (c >> 16) * n;
    sum[1] += ((c >> 8) & 0xff) * n;
    sum[2] += (c & 0xff) * n;
    sum[3] += n;
  }
  std::array<uint8_t, kMaxPaletteColors> renumbered{};
  std::vector<Rgb> kept;
  for (size_t j = 0; j < sums.size(); ++j) {
    const std::array<uint64_t, 4>& sum = sums[j];
    if (sum[3] == 0) continue;
    const auto mean = [&](int k) { return static_cast<uint8_t>((sum[k] + sum[3] / 2) / sum[3]); };
    renumbered[j] = static_cast<uint8_t>(kept.size());
    kept.push_back({mean(0), mean(1), mean(2)});
  }
  for (uint8_t& entry : assignment) entry = renumbered[entry];
  return kept;
}

// The palette's assignment with the rate term, each entry's bits taken from
// the assignment without it.
Assignment RatedAssignment(const ColourCounts& counts, const std::vector<Rgb>& palette, int rate) {
  const Assignment plain = Assign(counts, palette, std::vector<int64_t>(palette.size(), 0));
  if (rate == 0) return plain;
  return Assign(counts, palette, Bits(counts, plain, palette.size(), rate));
}

}  // namespace

int64_t Log2In256ths(uint64_t v) {
  const int whole = 63 - std::countl_zero(v);
  // The mantissa in [1, 2) with 30 fraction bits; squaring it doubles its
  // logarithm, so each square that reaches 2 gives the next bit.
  uint64_t m = whole >= 30 ? v >> (whole - 30) : v << (30 - whole);
  int64_t fraction = 0;
  for (int i = 0; i < 8; ++i) {
    m = (m * m) >> 30;
    fraction <<= 1;
    if (m >= uint64_t{1} << 31) {
      m >>= 1;
      fraction |= 1;
    }
  }
  return int64_t{whole} * 256 + fraction;
}

ColourCounts CountColours(const RgbaPicture& canvas) {
  std::vector<uint32_t> keys;
  keys.reserve(static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height));
  for (int y = 0; y < canvas.height; ++y) {
    const uint8_t* row = canvas.Row(y);
    for (int x = 0; x < canvas.width; ++x) keys.push_back(Key(row + 4 * x));
  }
  std::sort(keys.begin(), keys.end());
  ColourCounts counts;
  counts.pixels = keys.size();
  for (size_t i = 0; i < keys.size();) {
    size_t j = i;
    while (j < keys.size() && keys[j] == keys[i]) ++j;
    counts.colours.push_back(keys[i]);
    counts.counts.push_back(static_cast<uint32_t>(j - i));
    i = j;
  }
  return counts;
}

ColourCounts Gathered(const ColourCounts& counts) {
  constexpr size_t kGroups = size_t{1} << 15;
  if (counts.colours.size() <= kGroups) return counts;
  std::vector<std::array<uint64_t, 4>> sums(kGroups, {0, 0, 0, 0});
  for (size_t i = 0; i < counts.colours.size(); ++i) {
    const uint32_t c = counts.colours[i];
    const uint64_t n = counts.counts[i];
    std::array<uint64_t, 4>& sum = sums[(c >> 9 & 0x7c00) | (c >> 6 & 0x3e0) | (c >> 3 & 0x1f)];
    sum[0] += (c >> 16) * n;
    sum[1] += ((c >> 8) & 0xff) * n;
    sum[2] += (c & 0xff) * n;
    sum[3] += n;
  }
  std::vector<std::pair<uint32_t, uint64_t>> means;
  for (const std::array<uint64_t, 4>& sum : sums) {
    if (sum[3] == 0) continue;
    const auto mean = [&](int k) { return static_cast<uint32_t>((sum[k] + sum[3] / 2) / sum[3]); };
    means.emplace_back(mean(0) << 16 | mean(1) << 8 | mean(2), sum[3]);
  }
  // Two groups' means may meet; kept once, in increasing order, as counts are.
  std::sort(means.begin(), means.end());
  ColourCounts gathered;
  gathered.pixels = counts.pixels;
  for (const auto& [colour, n] : means) {
    if (!gathered.colours.empty() && gathered.colours.back() == colour) {
      gathered.counts.back() += static_cast<uint32_t>(n);
      continue;
    }
    gathered.colours.push_back(colour);
    gathered.counts.push_back(static_cast<uint32_t>(n));
  }
  return gathered;
}

std::vector<Rgb> RefineForRate(const ColourCounts& counts, std::vector<Rgb> palette, int rate, int rounds) {
  Assignment assignment = Assign(counts, palette, std::vector<int64_t>(palette.size(), 0));
  for (int round = 0; round < rounds; ++round) {
    palette = MoveToMeans(counts, palette, assignment);
    assignment = Assign(counts, palette, Bits(counts, assignment, palette.size(), rate));
  }
  return MoveToMeans(counts, palette, assignment);
}

Picture8 MapForRate(const RgbaPicture& canvas, const ColourCounts& counts, const std::vector<Rgb>& palette, int rate) {
  Assignment assignment = RatedAssignment(counts, palette, rate);
  Picture8 picture;
  picture.width = canvas.width;
  picture.height = canvas.height;
  picture.palette = MoveToMeans(counts, palette, assignment);
  picture.pixels.reserve(static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height));
  for (int y = 0; y < canvas.height; ++y) {
    const uint8_t* row = canvas.Row(y);
    for (int x = 0; x < canvas.width; ++x) {
      const auto at = std::lower_bound(counts.colours.begin(), counts.colours.end(), Key(row + 4 * x));
      picture.pixels.push_back(assignment[static_cast<size_t>(at - counts.colours.begin())]);
    }
  }
  return picture;
}

}  // namespace kws
