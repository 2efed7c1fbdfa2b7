// The Windows bitmap layout as this tool reads and writes it: the 14-byte file
// header and the 40-byte info header (all fields little-endian), then the
// colour entries, then the pixel rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kws {

class InputFile;

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

// The header fields convbmp goes by.
struct BitmapHeader {
  uint32_t pixel_offset;
  uint32_t info_size;
  int32_t width;
  int32_t height;
  uint16_t bit_count;
  int32_t compression;
  uint32_t color_count;  // colours used, or 2 to the power of the bit count when 0
};

inline constexpr size_t kMaxPaletteColors = 256;
using BitmapPalette = std::array<Rgb, kMaxPaletteColors>;

// The first 54 bytes of a bitmap. A colours-used or compression value at or
// above 2^31 is "Range check error", colours used first.
BitmapHeader ParseBitmapHeader(const std::array<uint8_t, bmp::kHeadersSize>& header);

// Where the colour entries start, and where the pixel rows start once the
// entries have been read.
uint64_t PaletteStart(const BitmapHeader& header);
uint64_t PixelStart(const BitmapHeader& header, uint64_t palette_end);

// Reads the header's colour count of entries from the file's position; more
// than 256 is "Range check error". Entries beyond the count stay black.
BitmapPalette ReadBitmapPalette(InputFile& bitmap, const BitmapHeader& header);

// The picture convbmp takes from this file, read by the same rules: a
// 720 x 576, 8-bit, uncompressed bitmap with every row present. Nothing for
// any other file, or one that cannot be read.
std::optional<Picture8> ReadConvertibleBitmap(const std::string& path);

}  // namespace kws
