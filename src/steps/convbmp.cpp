// convbmp: splits a 720 x 576 8-bit bitmap into its colour table and its raw
// picture (two big-endian dimensions, then the pixel rows as they stand in
// the bitmap, bottom row first).
#include <array>
#include <string>

#include "fileio/file.h"
#include "steps/be_fields.h"
#include "steps/bitmap8.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

constexpr int32_t kBitDepthTooHigh = -11;
constexpr int32_t kCompressed = -12;
constexpr int32_t kWrongSize = -13;
constexpr size_t kMaxColors = 256;

struct BitmapHeader {
  uint32_t pixel_offset;
  uint32_t info_size;
  int32_t width;
  int32_t height;
  uint16_t bit_count;
  int32_t compression;
  uint32_t color_count;
};

int32_t NonNegativeField(const uint8_t* at) {
  const uint32_t value = GetLE32(at);
  if (value >= 0x80000000u) ThrowRangeCheck();
  return static_cast<int32_t>(value);
}

BitmapHeader ParseHeader(const std::array<uint8_t, bmp::kHeadersSize>& h) {
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

// Colour entries follow the info header. Headers larger than the classic
// 40 bytes (the 108- and 124-byte ones of current painting programs) push
// them further back; smaller ones never convert and are read as before.
uint64_t PaletteStart(const BitmapHeader& hdr) {
  return hdr.info_size > bmp::kInfoHeaderSize ? bmp::kFileHeaderSize + uint64_t{hdr.info_size}
                                              : bmp::kHeadersSize;
}

// Pixel rows start at the file's pixel-data offset when that lies behind the
// colour entries; an offset pointing into them is not trusted.
uint64_t PixelStart(const BitmapHeader& hdr, uint64_t palette_end) {
  return hdr.pixel_offset >= palette_end ? hdr.pixel_offset : palette_end;
}

std::array<Rgb, kMaxColors> ReadPalette(InputFile& bitmap, const BitmapHeader& hdr) {
  std::array<Rgb, kMaxColors> palette{};
  const bool three_byte_entries = hdr.info_size == bmp::kCoreInfoSize;
  for (uint32_t i = 0; i < hdr.color_count; ++i) {
    if (i >= kMaxColors) ThrowRangeCheck();
    palette[i].b = bitmap.ReadByte();
    palette[i].g = bitmap.ReadByte();
    palette[i].r = bitmap.ReadByte();
    if (!three_byte_entries) bitmap.ReadByte();
  }
  return palette;
}

void WriteColorTable(const std::string& name, const std::array<Rgb, kMaxColors>& palette, uint32_t count) {
  DeleteFile(name);
  OutputFile out(name);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t rgb[3] = {palette[i].r, palette[i].g, palette[i].b};
    out.Write(rgb, sizeof rgb);
  }
  out.Close();
}

void WriteRaw(const std::string& name, InputFile& bitmap, const BitmapHeader& hdr) {
  DeleteFile(name);
  OutputFile out(name);
  uint8_t dims[8];
  PutBE32(dims, static_cast<uint32_t>(hdr.width));
  PutBE32(dims + 4, static_cast<uint32_t>(hdr.height));
  out.Write(dims, sizeof dims);

  const size_t stride = (static_cast<size_t>(hdr.width) + 3) & ~size_t{3};
  std::array<uint8_t, kPictureWidth> row{};
  for (int32_t y = 0; y < hdr.height; ++y) {
    bitmap.Read(row.data(), stride);
    out.Write(row.data(), stride);
  }
  out.Close();
}

}  // namespace

int32_t convbmp(const std::string& bitmap_name, const std::string& colortable, const std::string& raw) {
  if (!FileExists(bitmap_name)) return LogMissingInput("convbmp", bitmap_name);

  return RunStep("convbmp", [&]() -> int32_t {
    InputFile bitmap(bitmap_name);
    std::array<uint8_t, bmp::kHeadersSize> raw_header{};
    bitmap.Read(raw_header.data(), raw_header.size());
    const BitmapHeader hdr = ParseHeader(raw_header);

    if (hdr.bit_count > 8) {
      WriteLog("ERROR: bitdepth > 8 not supported!");
      return kBitDepthTooHigh;
    }
    if (hdr.compression != 0) {
      WriteLog("ERROR: compression not supported!");
      return kCompressed;
    }
    if (hdr.width != kPictureWidth || hdr.height != kPictureHeight) {
      WriteLog("ERROR: Bitmap must have 720x576 pixels! cx=" + std::to_string(hdr.width) +
               ", cy=" + std::to_string(hdr.height));
      return kWrongSize;
    }

    bitmap.Seek(PaletteStart(hdr));
    const auto palette = ReadPalette(bitmap, hdr);
    bitmap.Seek(PixelStart(hdr, bitmap.Position()));

    WriteColorTable(colortable, palette, hdr.color_count);
    WriteRaw(raw, bitmap, hdr);
    return kStepOk;
  });
}

}  // namespace kws
