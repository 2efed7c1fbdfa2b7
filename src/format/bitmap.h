// The Windows bitmap as this tool reads and writes it: the 14-byte file
// header and the 40-byte info header (all fields little-endian), then the
// colour entries, then the pixel rows. Reading states every rule a bitmap
// must keep in one place, FirstBrokenRule, for convbmp and every other reader.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kws {

namespace bmp {
// File header.
inline constexpr size_t kSignature = 0;  // "BM"
inline constexpr size_t kFileSize = 2;
inline constexpr size_t kPixelOffset = 10;  // where the pixel rows start
// Info header.
inline constexpr size_t kInfoSize = 14;  // 12 = core header with 3-byte colour entries
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
// A row of the picture: 720 bytes, a multiple of 4, so a bitmap stores it
// without padding.
inline constexpr size_t kRowBytes = kPictureWidth;
// The largest file taken for a bitmap of the picture: one is well under a
// megabyte, whatever its header size, so a far larger file is none and is
// refused before anything reads it.
inline constexpr uint64_t kMaxBitmapFileBytes = uint64_t{16} << 20;

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// An 8-bit palette picture: pixels row by row, top row first.
struct Picture8 {
  int32_t width = kPictureWidth;
  int32_t height = kPictureHeight;
  std::vector<Rgb> palette;     // 1 to 256 entries
  std::vector<uint8_t> pixels;  // width * height palette indices
};

// The picture as an uncompressed, bottom-up, 8-bit bitmap with a 40-byte info
// header: what convbmp takes without question. Rows are padded to 4 bytes.
std::vector<uint8_t> EncodeBitmap8(const Picture8& picture);

// The header fields a reading goes by.
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
BitmapHeader ParseBitmapHeader(std::span<const uint8_t, bmp::kHeadersSize> header);

// The rules a bitmap must keep, in the order they are checked; the first one
// broken is what a reading reports.
enum class BitmapRule {
  kKept,
  kAtMost8Bits,   // more bits per pixel than a palette picture has
  kUncompressed,  // run-length or other compression
  kIs720x576,     // any other size, a top-down bitmap included
  kExactly8Bits,  // fewer bits per pixel: see below
};
// convbmp does not check the last rule in the header: a bitmap with fewer
// bits reads its colour table and then runs out of rows ("Stream read
// error"); one long enough to fill 8-bit rows is refused once they are read,
// as another picture (viewer_reading.h). Every other reader refuses it at once.
BitmapRule FirstBrokenRule(const BitmapHeader& header);
bool ConvbmpRefuses(BitmapRule broken);

// Where the colour entries start.
uint64_t PaletteStart(const BitmapHeader& header);
// 3 for the core header, 4 for every other.
size_t PaletteEntrySize(const BitmapHeader& header);
// The entries a palette reading takes: the header's count, but never more
// than a palette holds; a count beyond that is refused once they are read.
size_t PaletteBytesToRead(const BitmapHeader& header);

// The header's count of colour entries from entries, the bytes found at
// PaletteStart. Fewer bytes than the count needs is "Stream read error";
// more than 256 entries is "Range check error" once the first 256 are read.
// Entries beyond the count stay black.
BitmapPalette ReadBitmapPalette(std::span<const uint8_t> entries, const BitmapHeader& header);

// A bitmap as convbmp reads it.
struct StoredBitmap {
  BitmapHeader header{};
  bool header_read = false;  // the header above is the file's, whatever came after it
  BitmapRule broken = BitmapRule::kKept;
  // Palette and rows are read only when convbmp takes the header.
  BitmapPalette palette{};
  // The whole rows found, bottom row first as the bitmap stores them; all
  // 576 of them for a complete bitmap.
  std::vector<uint8_t> rows;
  // Set for complete rows that are not the picture viewers show of the same
  // file (see viewer_reading.h): the plain reason, and nothing may be made
  // of them.
  std::string another_picture;

  bool Complete() const { return rows.size() == kPictureBytes; }
  uint32_t Colors() const { return header.color_count; }
};

// Where a reading gets its bytes: it copies up to out.size() bytes found at
// offset into out and returns how many; fewer only at the end of the bytes.
using ByteSource = std::function<size_t(uint64_t offset, std::span<uint8_t> out)>;
// True when the source holds a byte at offset.
bool HasByteAt(const ByteSource& source, uint64_t offset);
// Where the pixel rows start once the entries have been read.
uint64_t PixelStart(const BitmapHeader& header, uint64_t palette_end, const ByteSource& source);

// Reads header, palette and rows from the source into bitmap, each from
// where the header puts it, so that only what a reading needs is ever read;
// complete rows are then compared with the viewers' reading.
// The rows keep their memory from reading to reading. A header shorter than
// 54 bytes or a short palette is "Stream read error"; missing rows are not,
// they are only missing from rows.
void ReadStoredBitmap(const ByteSource& source, StoredBitmap& bitmap);
// The same reading of a bitmap file's bytes.
StoredBitmap ReadStoredBitmap(std::span<const uint8_t> file);

// The colour table convbmp writes: red, green, blue for each of the
// header's colours.
inline constexpr size_t kColorTableEntrySize = 3;
inline constexpr size_t kMaxColorTableSize = kColorTableEntrySize * kMaxPaletteColors;
std::vector<uint8_t> ColorTable(const StoredBitmap& bitmap);

// The picture of a complete bitmap that keeps every rule: the header's
// colours, the rows top row first.
Picture8 PictureOf(const StoredBitmap& bitmap);

}  // namespace kws
