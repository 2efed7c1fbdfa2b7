// The raw picture and its re-orientation. convbmp writes the raw picture:
// the width and the height as big-endian 32-bit numbers, then the pixel rows
// as the bitmap stores them, bottom row first. rawconv turns those rows over
// into the order the receivers draw them in, top row first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "format/bitmap.h"

namespace kws {

namespace raw {
inline constexpr size_t kWidth = 0;
inline constexpr size_t kHeight = 4;
inline constexpr size_t kDimensionsSize = 8;  // the rows follow
}  // namespace raw

struct RawDimensions {
  uint32_t x = 0;
  uint32_t y = 0;
};

// What convbmp writes for a bitmap with this header: its width and height.
RawDimensions RawDimensionsOf(const BitmapHeader& header);

// Dimensions, then the rows unchanged.
std::vector<uint8_t> RawPicture(RawDimensions dimensions, std::span<const uint8_t> rows);

// The dimensions at the start of a raw picture of at least 8 bytes.
RawDimensions RawDimensionsOf(std::span<const uint8_t, raw::kDimensionsSize> dimensions);

// Rows of 720 bytes in the opposite order: bottom row first becomes top row
// first and back. A partial row at the end is left out. turned is resized to
// fit and keeps its memory.
void TopRowFirst(std::span<const uint8_t> rows, std::vector<uint8_t>& turned);
std::vector<uint8_t> TopRowFirst(std::span<const uint8_t> rows);

}  // namespace kws
