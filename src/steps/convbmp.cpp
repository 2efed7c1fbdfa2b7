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

void WriteColorTable(const std::string& name, const BitmapPalette& palette, uint32_t count) {
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
  if (const int32_t refused = RefuseSharedFiles("convbmp", {&bitmap_name}, {&colortable, &raw})) return refused;
  if (!FileExists(bitmap_name)) return LogMissingInput("convbmp", bitmap_name);

  return RunStep("convbmp", [&]() -> int32_t {
    InputFile bitmap(bitmap_name);
    std::array<uint8_t, bmp::kHeadersSize> raw_header{};
    bitmap.Read(raw_header.data(), raw_header.size());
    const BitmapHeader hdr = ParseBitmapHeader(raw_header);

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
    const BitmapPalette palette = ReadBitmapPalette(bitmap, hdr);
    bitmap.Seek(PixelStart(hdr, bitmap.Position()));

    WriteColorTable(colortable, palette, hdr.color_count);
    WriteRaw(raw, bitmap, hdr);
    return kStepOk;
  });
}

}  // namespace kws
