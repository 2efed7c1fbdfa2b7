#include "steps/bitmap8.h"

#include <algorithm>
#include <stdexcept>

#include "steps/be_fields.h"

namespace kws {

std::vector<uint8_t> EncodeBitmap8(const Picture8& picture) {
  if (picture.width <= 0 || picture.height <= 0 || picture.palette.empty() || picture.palette.size() > 256 ||
      picture.pixels.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height)) {
    throw std::invalid_argument("EncodeBitmap8: picture has no valid size or palette");
  }
  const size_t stride = (static_cast<size_t>(picture.width) + 3) & ~size_t{3};
  const size_t colors = picture.palette.size();
  const size_t pixel_offset = bmp::kHeadersSize + 4 * colors;
  const size_t image_size = stride * static_cast<size_t>(picture.height);

  std::vector<uint8_t> out(pixel_offset + image_size, 0);
  uint8_t* h = out.data();
  h[bmp::kSignature] = 'B';
  h[bmp::kSignature + 1] = 'M';
  PutLE32(h + bmp::kFileSize, static_cast<uint32_t>(out.size()));
  PutLE32(h + bmp::kPixelOffset, static_cast<uint32_t>(pixel_offset));
  PutLE32(h + bmp::kInfoSize, bmp::kInfoHeaderSize);
  PutLE32(h + bmp::kWidth, static_cast<uint32_t>(picture.width));
  PutLE32(h + bmp::kHeight, static_cast<uint32_t>(picture.height));
  PutLE16(h + bmp::kPlanes, 1);
  PutLE16(h + bmp::kBitCount, 8);
  PutLE32(h + bmp::kCompression, 0);
  PutLE32(h + bmp::kImageSize, static_cast<uint32_t>(image_size));
  PutLE32(h + bmp::kXPelsPerMeter, 2835);  // 72 dpi
  PutLE32(h + bmp::kYPelsPerMeter, 2835);
  PutLE32(h + bmp::kColorsUsed, static_cast<uint32_t>(colors));

  uint8_t* entry = h + bmp::kHeadersSize;
  for (const Rgb& c : picture.palette) {
    entry[0] = c.b;
    entry[1] = c.g;
    entry[2] = c.r;
    entry += 4;
  }
  // Bottom-up: the picture's last row is stored first.
  for (int32_t y = 0; y < picture.height; ++y) {
    const uint8_t* src = picture.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(picture.width);
    uint8_t* dst = h + pixel_offset + static_cast<size_t>(picture.height - 1 - y) * stride;
    std::copy(src, src + picture.width, dst);
  }
  return out;
}

}  // namespace kws
