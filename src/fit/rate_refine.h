// Palettes chosen for the bytes they cost as well as for how close they
// come (entropy-constrained Lloyd's). Each colour of the picture takes the
// palette entry with the least squared distance plus lambda times the bits
// its index costs, -log2 of the entry's share of the pixels: an entry few
// pixels take costs more. A noisy background, which costs most of the gzip
// member when its levels each get an entry, settles on a few of them, while
// stars, edges and faces keep theirs. Integer arithmetic throughout, so
// every platform maps alike.
#pragma once

#include <cstdint>
#include <vector>

#include "fit/rgba_picture.h"
#include "format/bitmap.h"

namespace kws {

// The picture's colours, each once, in increasing order of 0xRRGGBB, with
// how many pixels show each.
struct ColourCounts {
  std::vector<uint32_t> colours;
  std::vector<uint32_t> counts;
  uint64_t pixels = 0;
  // Each pixel's colour as its index into colours, row by row: the canvas
  // is mapped many times over, and looking each pixel up anew would cost
  // as much as the mapping itself.
  std::vector<uint32_t> pixel_colours;
};

// With pixel_colours.
ColourCounts CountColours(const RgbaPicture& canvas);

// The colours gathered into at most 2^15 groups (each channel's top five
// bits) when there are more than that, each group as the mean of its
// colours with their pixels: what the refinement needs of a grainy photo's
// hundreds of thousands of colours, at a fraction of the cost. Fewer colours
// are kept as they are.
ColourCounts Gathered(const ColourCounts& counts);

// The palette refined for this rate (squared levels of red, green and blue
// that one bit of index is worth) by rounds of mapping and moving each
// entry to the mean of the colours that take it; entries no colour takes
// are dropped. A rate of 0 is plain Lloyd's.
std::vector<Rgb> RefineForRate(const ColourCounts& counts, std::vector<Rgb> palette, int rate, int rounds);

// The canvas, whose colours are counts (as CountColours counted them),
// mapped to the palette with the rate term, each entry's bits taken from
// the mapping without it first.
Picture8 MapForRate(const RgbaPicture& canvas, const ColourCounts& counts, const std::vector<Rgb>& palette, int rate);

// log2(v) in 256ths, rounded down, for v >= 1; exact integer steps.
int64_t Log2In256ths(uint64_t v);

}  // namespace kws
