// A picture shrunk while it is read, a row at a time: each block of factor x
// factor pixels becomes one, its colours weighed by their alpha as the
// canvas's own scaling weighs them.
#pragma once

#include <QImage>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kws {

// One row of blocks: red, green and blue weighed by alpha, alpha, and the
// pixels counted.
class BlockSums {
 public:
  BlockSums(int width, int factor);

  // Adds a row of width pixels, 8-bit RGBA, or 8-bit RGB (opaque) with
  // channels 3.
  void Add(const uint8_t* pixels, int channels = 4);
  // Writes the blocks' means as a row of RGBA pixels and starts afresh.
  void Emit(uchar* out);

 private:
  template <int kChannels>
  void AddRow(const uint8_t* pixels);

  int width_, factor_;
  std::vector<uint64_t> sums_;  // 5 a block
};

// A picture of width x height pixels, whose rows take row_bytes each in its
// file, read in strips of whole rows of blocks (about a megabyte each, in
// the order the file holds them: the last first when bottom_first) and
// shrunk by factor. strip gives the picture's rows top .. top + count - 1 as
// 8-bit RGBA, or a null image when they cannot be read: then nothing.
using ReadStrip = std::function<QImage(int top, int count)>;
std::optional<QImage> ShrinkByStrips(int width, int height, int factor, uint64_t row_bytes, bool bottom_first,
                                     const ReadStrip& strip);

}  // namespace kws
