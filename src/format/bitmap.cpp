#include "format/bitmap.h"

#include <algorithm>
#include <stdexcept>

#include "file_error.h"
#include "format/byte_order.h"
#include "format/raw_picture.h"
#include "format/viewer_reading.h"

namespace kws {

namespace {

int32_t NonNegativeField(const uint8_t* at) {
  const uint32_t value = GetLE32(at);
  if (value >= 0x80000000u) ThrowRangeCheck();
  return static_cast<int32_t>(value);
}

}  // namespace

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

BitmapHeader ParseBitmapHeader(std::span<const uint8_t, bmp::kHeadersSize> h) {
  BitmapHeader hdr{};
  hdr.pixel_offset = GetLE32(&h[bmp::kPixelOffset]);
  hdr.info_size = GetLE32(&h[bmp::kInfoSize]);
  hdr.width = static_cast<int32_t>(GetLE32(&h[bmp::kWidth]));
  hdr.height = static_cast<int32_t>(GetLE32(&h[bmp::kHeight]));
  hdr.bit_count = GetLE16(&h[bmp::kBitCount]);
  // Range checks: colours used first, then compression.
  hdr.color_count = static_cast<uint32_t>(NonNegativeField(&h[bmp::kColorsUsed]));
  if (hdr.color_count == 0) hdr.color_count = uint32_t{1} << (hdr.bit_count & 31);
  hdr.compression = NonNegativeField(&h[bmp::kCompression]);
  return hdr;
}

BitmapRule FirstBrokenRule(const BitmapHeader& hdr) {
  if (hdr.bit_count > 8) return BitmapRule::kAtMost8Bits;
  if (hdr.compression != 0) return BitmapRule::kUncompressed;
  if (hdr.width != kPictureWidth || hdr.height != kPictureHeight) return BitmapRule::kIs720x576;
  if (hdr.bit_count != 8) return BitmapRule::kExactly8Bits;
  return BitmapRule::kKept;
}

bool ConvbmpRefuses(BitmapRule broken) { return broken != BitmapRule::kKept && broken != BitmapRule::kExactly8Bits; }

// Colour entries follow the info header. Headers larger than the classic
// 40 bytes (the 108- and 124-byte ones of current painting programs) push
// them further back; smaller ones never convert and are read as before.
uint64_t PaletteStart(const BitmapHeader& hdr) {
  return hdr.info_size > bmp::kInfoHeaderSize ? bmp::kFileHeaderSize + uint64_t{hdr.info_size} : bmp::kHeadersSize;
}

// Pixel rows start at the file's pixel-data offset when that lies behind the
// colour entries and inside the file; otherwise right behind the entries.
uint64_t PixelStart(const BitmapHeader& hdr, uint64_t palette_end, const ByteSource& source) {
  return hdr.pixel_offset >= palette_end && HasByteAt(source, hdr.pixel_offset) ? hdr.pixel_offset : palette_end;
}

bool HasByteAt(const ByteSource& source, uint64_t offset) {
  std::array<uint8_t, 1> probe{};
  return source(offset, probe) == probe.size();
}

size_t PaletteEntrySize(const BitmapHeader& hdr) { return hdr.info_size == bmp::kCoreInfoSize ? 3 : 4; }

size_t PaletteBytesToRead(const BitmapHeader& hdr) {
  return std::min<size_t>(hdr.color_count, kMaxPaletteColors) * PaletteEntrySize(hdr);
}

BitmapPalette ReadBitmapPalette(std::span<const uint8_t> entries, const BitmapHeader& hdr) {
  BitmapPalette palette{};
  const size_t entry_size = PaletteEntrySize(hdr);
  for (uint32_t i = 0; i < hdr.color_count; ++i) {
    if (i >= kMaxPaletteColors) ThrowRangeCheck();
    if (entries.size() < (i + 1) * entry_size) throw FileError(kStreamReadError);
    const uint8_t* entry = &entries[i * entry_size];
    palette[i] = {entry[2], entry[1], entry[0]};  // stored blue, green, red
  }
  return palette;
}

void ReadStoredBitmap(const ByteSource& source, StoredBitmap& bitmap) {
  bitmap.rows.clear();
  bitmap.another_picture.clear();
  bitmap.header_read = false;
  std::array<uint8_t, bmp::kHeadersSize> header_bytes{};
  if (source(0, header_bytes) != header_bytes.size()) throw FileError(kStreamReadError);
  bitmap.header = ParseBitmapHeader(header_bytes);
  bitmap.header_read = true;
  bitmap.broken = FirstBrokenRule(bitmap.header);
  if (ConvbmpRefuses(bitmap.broken)) return;

  const BitmapHeader& hdr = bitmap.header;
  std::vector<uint8_t> entries(PaletteBytesToRead(hdr));
  entries.resize(source(PaletteStart(hdr), entries));
  bitmap.palette = ReadBitmapPalette(entries, hdr);

  const uint64_t palette_end = PaletteStart(hdr) + uint64_t{hdr.color_count} * PaletteEntrySize(hdr);
  bitmap.rows.resize(kPictureBytes);
  const size_t found = source(PixelStart(hdr, palette_end, source), bitmap.rows);
  bitmap.rows.resize(found / kRowBytes * kRowBytes);
  if (bitmap.Complete()) bitmap.another_picture = AnotherPictureThanViewersShow(source, bitmap);
}

StoredBitmap ReadStoredBitmap(std::span<const uint8_t> file) {
  StoredBitmap bitmap;
  ReadStoredBitmap(
      [file](uint64_t offset, std::span<uint8_t> out) -> size_t {
        if (offset >= file.size()) return 0;
        const size_t count = std::min<uint64_t>(out.size(), file.size() - offset);
        std::copy_n(file.begin() + static_cast<ptrdiff_t>(offset), count, out.begin());
        return count;
      },
      bitmap);
  return bitmap;
}

std::vector<uint8_t> ColorTable(const StoredBitmap& bitmap) {
  const size_t colors = std::min<size_t>(bitmap.Colors(), kMaxPaletteColors);
  std::vector<uint8_t> table;
  table.reserve(kColorTableEntrySize * colors);
  for (size_t i = 0; i < colors; ++i) {
    const Rgb& c = bitmap.palette[i];
    table.insert(table.end(), {c.r, c.g, c.b});
  }
  return table;
}

Picture8 PictureOf(const StoredBitmap& bitmap) {
  Picture8 picture;
  const size_t colors = std::min<size_t>(bitmap.Colors(), kMaxPaletteColors);
  picture.palette.assign(bitmap.palette.begin(), bitmap.palette.begin() + static_cast<ptrdiff_t>(colors));
  picture.pixels = TopRowFirst(bitmap.rows);
  return picture;
}

}  // namespace kws
