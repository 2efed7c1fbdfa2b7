// The Windows bitmap layout as this tool reads and writes it: the 14-byte file
// header and the 40-byte info header (all fields little-endian), then the
// colour entries, then the pixel rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kws {

namespace bmp {
// File header.
inline constexpr size_t kSignature = 0;       // "BM"
inline constexpr size_t kFileSize = 2;
inline constexpr size_t kPixelOffset = 10;    // where the pixel rows start
// Info header.
inline constexpr size_t kInfoSize = 14;       // 12 = core header with 3-byte colour entries
inline constexpr size_t kWidth = 18;
inline constexpr size_t kHeight = 22;
inline constexpr size_t kPlanes = 26;
inline constexpr size_t kBitCount = 28;
inline constexpr size_t kCompression = 30;
inline constexpr size_t kImageSize = 34;
inline constexpr size_t kXPelsPerMeter = 38;
inline constexpr size_t kYPelsPerMeter = 42;
inline constexpr size_t kColorsUsed = 46;
inline constexpr size_t kColorsImportant = 50;

inline constexpr size_t kFileHeaderSize = 14;
inline constexpr size_t kInfoHeaderSize = 40;
inline constexpr size_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;  // 54
inline constexpr uint32_t kCoreInfoSize = 12;
}  // namespace bmp

// The one picture geometry the receivers take.
inline constexpr int32_t kPictureWidth = 720;
inline constexpr int32_t kPictureHeight = 576;
inline constexpr size_t kPictureBytes = size_t{kPictureWidth} * kPictureHeight;  // 414,720

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// An 8-bit palette picture: pixels row by row, top row first.
struct Picture8 {
  int32_t width = kPictureWidth;
  int32_t height = kPictureHeight;
  std::vector<Rgb> palette;       // 1 to 256 entries
  std::vector<uint8_t> pixels;    // width * height palette indices
};

// The picture as an uncompressed, bottom-up, 8-bit bitmap with a 40-byte info
// header: what convbmp takes without question. Rows are padded to 4 bytes.
std::vector<uint8_t> EncodeBitmap8(const Picture8& picture);

}  // namespace kws
