// A picture's size as its file's header states it, read before any decoder
// starts, so that a picture too large to decode is refused first. For the
// formats the page hands to the browser's decoders: PNG, JPEG, GIF, WebP
// and BMP.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kws {

struct PictureHeader {
  std::string format;  // "png", "jpeg", "gif", "webp", "bmp"
  uint32_t width = 0, height = 0;
  bool run_length = false;  // a bitmap coded in runs (RLE8, RLE4)
};

// The header of the picture file at path; nothing when it is none of these
// formats, or its header is cut short before the size.
std::optional<PictureHeader> ReadPictureHeader(const std::string& path);

}  // namespace kws
