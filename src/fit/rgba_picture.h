// A picture as the import's colour choice sees it: 8-bit red, green, blue
// and alpha, rows top to bottom without padding. Plain bytes, so that the
// desktop programs (reading pictures with Qt) and the browser page (reading
// them with the browser) hand the same picture to the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kws {

struct RgbaPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // 4 bytes a pixel

  RgbaPicture() = default;
  RgbaPicture(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * static_cast<size_t>(h) * 4) {}

  size_t RowBytes() const { return static_cast<size_t>(width) * 4; }
  const uint8_t* Row(int y) const { return rgba.data() + static_cast<size_t>(y) * RowBytes(); }
  uint8_t* Row(int y) { return rgba.data() + static_cast<size_t>(y) * RowBytes(); }
};

}  // namespace kws
