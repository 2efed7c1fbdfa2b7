#include "fit/rate_refine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <utility>

#include "fit/cheapest_entry.h"
#include "fit/colour_sum.h"

namespace kws {

namespace {

using Assignment = std::vector<uint8_t>;  // an entry for each colour of the counts

// Each colour's cheapest entry. The search starts from a hint: the entry
// the colour took before (previous, when given: a round of refinement moves
// entries little, so it is mostly the answer and the search stays small),
// else the one the colour before took. The hint changes only how long the
// search takes, never what it finds.
Assignment Assign(const ColourCounts& counts, const std::vector<Rgb>& palette, const std::vector<int64_t>& bits,
                  const Assignment* previous = nullptr) {
  const CheapestEntry cheapest(palette);
  const int64_t cheapest_bits = *std::min_element(bits.begin(), bits.end());
  Assignment assignment(counts.colours.size());
  uint8_t hint = 0;
  for (size_t i = 0; i < counts.colours.size(); ++i) {
    if (previous && (*previous)[i] < palette.size()) hint = (*previous)[i];
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
    const int64_t share = taken[j] == 0 ? all + kCostScale : all - Log2In256ths(taken[j]);
    bits[j] = rate * share;
  }
  return bits;
}

// Each entry moved to the mean of the colours that take it, weighed by
// their pixels; entries nothing takes dropped and the assignment renumbered.
std::vector<Rgb> MoveToMeans(const ColourCounts& counts, const std::vector<Rgb>& palette, Assignment& assignment) {
  std::vector<ColourSum> sums(palette.size());
  for (size_t i = 0; i < assignment.size(); ++i) sums[assignment[i]].Add(counts.colours[i], counts.counts[i]);
  std::array<uint8_t, kMaxPaletteColors> renumbered{};
  std::vector<Rgb> kept = KeptMeans(sums, renumbered);
  for (uint8_t& entry : assignment) entry = renumbered[entry];
  return kept;
}

// The palette's assignment with the rate term, each entry's bits taken from
// the assignment without it.
Assignment RatedAssignment(const ColourCounts& counts, const std::vector<Rgb>& palette, int rate) {
  const Assignment plain = Assign(counts, palette, std::vector<int64_t>(palette.size(), 0));
  if (rate == 0) return plain;
  return Assign(counts, palette, Bits(counts, plain, palette.size(), rate), &plain);
}

// Entries Lloyd's rounds left empty, given back to the picture: each to the
// colour that is worst served (its pixels times its squared distance to
// the entry it takes), so that a palette keeps its size where colours are
// left to serve. Of colours served alike, the first.
void Reseed(const ColourCounts& counts, std::vector<Rgb>& palette, const Assignment& assignment, size_t size) {
  if (palette.size() >= size || counts.colours.size() <= palette.size()) return;
  std::vector<std::pair<uint64_t, uint32_t>> worst;  // error, index of the colour
  worst.reserve(counts.colours.size());
  for (size_t i = 0; i < counts.colours.size(); ++i) {
    const uint64_t error = uint64_t(SquaredDistance(counts.colours[i], palette[assignment[i]])) * counts.counts[i];
    if (error > 0) worst.emplace_back(error, static_cast<uint32_t>(i));
  }
  const size_t wanted = std::min(size - palette.size(), worst.size());
  std::partial_sort(
      worst.begin(), worst.begin() + static_cast<std::ptrdiff_t>(wanted), worst.end(),
      [](const auto& a, const auto& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; });
  for (size_t k = 0; k < wanted; ++k) {
    const uint32_t c = counts.colours[worst[k].second];
    palette.push_back({static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
  }
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
  // Each pixel's colour above its place, so that one sort counts the
  // colours and tells every pixel its own.
  constexpr int kPlaceBits = 32;
  std::vector<uint64_t> keys;
  keys.reserve(static_cast<size_t>(canvas.width) * static_cast<size_t>(canvas.height));
  for (int y = 0; y < canvas.height; ++y) {
    const uint8_t* row = canvas.Row(y);
    for (int x = 0; x < canvas.width; ++x) {
      keys.push_back(uint64_t{ColourKey(row + 4 * x)} << kPlaceBits | keys.size());
    }
  }
  std::sort(keys.begin(), keys.end());
  ColourCounts counts;
  counts.pixels = keys.size();
  counts.pixel_colours.resize(keys.size());
  for (size_t i = 0; i < keys.size();) {
    const uint64_t colour = keys[i] >> kPlaceBits;
    const auto index = static_cast<uint32_t>(counts.colours.size());
    size_t j = i;
    for (; j < keys.size() && keys[j] >> kPlaceBits == colour; ++j) {
      counts.pixel_colours[static_cast<uint32_t>(keys[j])] = index;
    }
    counts.colours.push_back(static_cast<uint32_t>(colour));
    counts.counts.push_back(static_cast<uint32_t>(j - i));
    i = j;
  }
  return counts;
}

ColourCounts Gathered(const ColourCounts& counts) {
  constexpr size_t kGroups = size_t{1} << 15;
  if (counts.colours.size() <= kGroups) return counts;
  std::vector<ColourSum> sums(kGroups);
  for (size_t i = 0; i < counts.colours.size(); ++i) {
    const uint32_t c = counts.colours[i];
    sums[(c >> 9 & 0x7c00) | (c >> 6 & 0x3e0) | (c >> 3 & 0x1f)].Add(c, counts.counts[i]);
  }
  std::vector<std::pair<uint32_t, uint64_t>> means;
  for (const ColourSum& sum : sums) {
    if (sum.pixels == 0) continue;
    const Rgb mean = sum.Mean();
    means.emplace_back(uint32_t{mean.r} << 16 | uint32_t{mean.g} << 8 | mean.b, sum.pixels);
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
  const size_t size = palette.size();
  Assignment assignment = Assign(counts, palette, std::vector<int64_t>(palette.size(), 0));
  for (int round = 0; round < rounds; ++round) {
    palette = MoveToMeans(counts, palette, assignment);
    // Without a rate an entry is emptied only by the rounds themselves, not
    // because its index costs too much: given back, it serves the picture.
    if (rate == 0 && palette.size() < size) {
      Reseed(counts, palette, assignment, size);
      assignment = Assign(counts, palette, std::vector<int64_t>(palette.size(), 0), &assignment);
      continue;
    }
    assignment = Assign(counts, palette, Bits(counts, assignment, palette.size(), rate), &assignment);
  }
  return MoveToMeans(counts, palette, assignment);
}

Picture8 MapForRate(const RgbaPicture& canvas, const ColourCounts& counts, const std::vector<Rgb>& palette, int rate) {
  Assignment assignment = RatedAssignment(counts, palette, rate);
  Picture8 picture;
  picture.width = canvas.width;
  picture.height = canvas.height;
  picture.palette = MoveToMeans(counts, palette, assignment);
  picture.pixels.reserve(counts.pixel_colours.size());
  for (uint32_t colour : counts.pixel_colours) picture.pixels.push_back(assignment[colour]);
  return picture;
}

}  // namespace kws
