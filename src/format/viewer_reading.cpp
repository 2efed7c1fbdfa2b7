#include "format/viewer_reading.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace kws {

namespace {

// Where viewers find the colour entries and the pixel rows.
struct ViewerLayout {
  uint64_t palette_start = 0;
  size_t entry_size = 4;
  size_t entries = 0;  // those that lie before the pixel data, at most 256
  uint64_t pixel_start = 0;
};

// The layout the header gives, or nothing where the header is impossible:
// an info header too small to be one, or a pixel-data offset inside the
// headers or past the end of the file.
std::optional<ViewerLayout> LayoutOf(const ByteSource& source, const BitmapHeader& hdr) {
  if (hdr.info_size < bmp::kCoreInfoSize) return std::nullopt;
  const uint64_t headers_end = bmp::kFileHeaderSize + uint64_t{hdr.info_size};
  if (hdr.pixel_offset < std::max<uint64_t>(headers_end, bmp::kHeadersSize)) return std::nullopt;
  if (!HasByteAt(source, hdr.pixel_offset)) return std::nullopt;

  ViewerLayout layout;
  layout.palette_start = headers_end;
  layout.entry_size = hdr.info_size == bmp::kCoreInfoSize ? 3 : 4;
  const uint64_t room = (hdr.pixel_offset - headers_end) / layout.entry_size;
  layout.entries = static_cast<size_t>(std::min<uint64_t>({hdr.color_count, kMaxPaletteColors, room}));
  layout.pixel_start = hdr.pixel_offset;
  return layout;
}

std::vector<Rgb> ViewerPalette(const ByteSource& source, const ViewerLayout& layout) {
  std::vector<uint8_t> bytes(layout.entries * layout.entry_size);
  bytes.resize(source(layout.palette_start, bytes));
  std::vector<Rgb> palette(bytes.size() / layout.entry_size);
  for (size_t i = 0; i < palette.size(); ++i) {
    const uint8_t* entry = &bytes[i * layout.entry_size];
    palette[i] = {entry[2], entry[1], entry[0]};  // stored blue, green, red
  }
  return palette;
}

// The first pixel whose colour differs, as "column X, row Y" counted from the
// top left; empty when every colour is the same.
std::string FirstDifference(const StoredBitmap& bitmap, const std::vector<Rgb>& palette,
                            const std::vector<uint8_t>& rows) {
  const auto colour = [](const auto& entries, size_t count, uint8_t index) {
    return index < count ? entries[index] : Rgb{};  // an index beyond the entries shows black
  };
  const size_t step_colors = std::min<size_t>(bitmap.Colors(), kMaxPaletteColors);
  for (size_t i = 0; i < kPictureBytes; ++i) {
    const Rgb viewer = i < rows.size() ? colour(palette, palette.size(), rows[i]) : Rgb{};
    if (i < rows.size() && colour(bitmap.palette, step_colors, bitmap.rows[i]) == viewer) continue;
    const size_t stored_row = i / kRowBytes;
    return "column " + std::to_string(i % kRowBytes) + ", row " +
           std::to_string(static_cast<size_t>(kPictureHeight) - 1 - stored_row);
  }
  return {};
}

}  // namespace

std::string AnotherPictureThanViewersShow(const ByteSource& source, const StoredBitmap& bitmap) {
  const BitmapHeader& hdr = bitmap.header;
  if (hdr.bit_count != 8) {
    return kAnotherPicturePrefix + std::string("it has ") + std::to_string(hdr.bit_count) +
           (hdr.bit_count == 1 ? " bit" : " bits") + " per pixel, and its rows would be taken as 8-bit rows";
  }
  const std::optional<ViewerLayout> layout = LayoutOf(source, hdr);
  if (!layout) return {};

  const uint64_t palette_end = PaletteStart(hdr) + uint64_t{hdr.color_count} * PaletteEntrySize(hdr);
  if (palette_end > hdr.pixel_offset) {
    return kAnotherPicturePrefix + std::string("its ") + std::to_string(hdr.color_count) +
           " colour entries run past the start of its pixel data at byte " + std::to_string(hdr.pixel_offset);
  }

  std::vector<uint8_t> rows(kPictureBytes);
  rows.resize(source(layout->pixel_start, rows));
  const std::string where = FirstDifference(bitmap, ViewerPalette(source, *layout), rows);
  if (where.empty()) return {};
  return kAnotherPicturePrefix + std::string("at ") + where + " it differs from the picture that viewers show";
}

}  // namespace kws
