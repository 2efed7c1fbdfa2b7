// A picture shrunk while it is read, a row at a time: each block of factor x
// factor pixels becomes one, its colours weighed by their alpha as the
// canvas's own scaling weighs them.
#pragma once

#include <QImage>
#include <cstdint>
#include <vector>

namespace kws {

// One row of blocks: red, green and blue weighed by alpha, alpha, and the
// pixels counted.
class BlockSums {
 public:
  BlockSums(int width, int factor);

  // Adds a row of width pixels, 8-bit RGBA.
  void Add(const uint8_t* rgba);
  // Writes the blocks' means as a row of RGBA pixels and starts afresh.
  void Emit(uchar* out);

 private:
  int width_, factor_;
  std::vector<uint64_t> sums_;  // 5 a block
};

}  // namespace kws
