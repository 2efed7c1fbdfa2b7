#include "format/raw_picture.h"

#include <algorithm>

#include "format/bitmap.h"
#include "format/byte_order.h"

namespace kws {

std::vector<uint8_t> RawPicture(RawDimensions dimensions, std::span<const uint8_t> rows) {
  std::vector<uint8_t> picture(raw::kDimensionsSize + rows.size());
  PutBE32(&picture[raw::kWidth], dimensions.x);
  PutBE32(&picture[raw::kHeight], dimensions.y);
  std::copy(rows.begin(), rows.end(), picture.begin() + raw::kDimensionsSize);
  return picture;
}

RawDimensions RawDimensionsOf(const BitmapHeader& header) {
  return {static_cast<uint32_t>(header.width), static_cast<uint32_t>(header.height)};
}

RawDimensions RawDimensionsOf(std::span<const uint8_t, raw::kDimensionsSize> dimensions) {
  return {GetBE32(&dimensions[raw::kWidth]), GetBE32(&dimensions[raw::kHeight])};
}

void TopRowFirst(std::span<const uint8_t> rows, std::vector<uint8_t>& turned) {
  const size_t count = rows.size() / kRowBytes;
  turned.resize(count * kRowBytes);
  for (size_t row = 0; row < count; ++row) {
    const auto from = rows.begin() + static_cast<ptrdiff_t>(row * kRowBytes);
    std::copy(from, from + kRowBytes, turned.end() - static_cast<ptrdiff_t>((row + 1) * kRowBytes));
  }
}

std::vector<uint8_t> TopRowFirst(std::span<const uint8_t> rows) {
  std::vector<uint8_t> turned;
  TopRowFirst(rows, turned);
  return turned;
}

}  // namespace kws
