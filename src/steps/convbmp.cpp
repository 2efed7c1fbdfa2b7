// convbmp: splits a 720 x 576 8-bit bitmap into its colour table and its raw
// picture (two big-endian dimensions, then the pixel rows as they stand in
// the bitmap, bottom row first).
#include <functional>
#include <string>

#include "fileio/file.h"
#include "format/bitmap.h"
#include "format/raw_picture.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

// Logs the rule the header breaks and returns its code; 0 when convbmp
// takes the bitmap.
int32_t RefuseBrokenRule(const StoredBitmap& bitmap) {
  const BitmapHeader& hdr = bitmap.header;
  switch (bitmap.broken) {
    case BitmapRule::kAtMost8Bits:
      WriteLog("ERROR: bitdepth > 8 not supported!");
      return kConvbmpBitDepthTooHigh;
    case BitmapRule::kUncompressed:
      WriteLog("ERROR: compression not supported!");
      return kConvbmpCompressed;
    case BitmapRule::kIs720x576:
      WriteLog("ERROR: Bitmap must have 720x576 pixels! cx=" + std::to_string(hdr.width) +
               ", cy=" + std::to_string(hdr.height));
      return kConvbmpWrongSize;
    case BitmapRule::kExactly8Bits:
    case BitmapRule::kKept:
      break;
  }
  return kStepOk;
}

void WriteWhole(const std::string& name, const std::vector<uint8_t>& bytes) {
  DeleteFile(name);
  OutputFile out(name);
  out.Write(bytes.data(), bytes.size());
  out.Close();
}

// Reads the bitmap into bitmap, refuses what convbmp refuses, and hands what
// it read to keep, which writes the outputs or leaves them in memory. Rows
// that run out are a read error once keep has had the rows that were there.
template <class Keep>
int32_t Convert(const std::string& bitmap_name, const std::string& colortable, const std::string& raw,
                StoredBitmap& bitmap, Keep&& keep) {
  if (const int32_t refused = RefuseSharedFiles("convbmp", {&bitmap_name}, {&colortable, &raw})) return refused;
  if (!FileExists(bitmap_name)) return LogMissingInput("convbmp", bitmap_name);

  return RunStep("convbmp", [&]() -> int32_t {
    InputFile file(bitmap_name);
    ReadStoredBitmap(std::bind_front(&InputFile::ReadAt, &file), bitmap);
    if (const int32_t code = RefuseBrokenRule(bitmap)) return code;
    // Refused before any output is touched: the images would hold another
    // picture than the one the user sees.
    if (!bitmap.another_picture.empty()) throw FileError(bitmap.another_picture);
    keep();
    if (!bitmap.Complete()) throw FileError(kStreamReadError);
    return kStepOk;
  });
}

}  // namespace

int32_t convbmp(const std::string& bitmap_name, const std::string& colortable, const std::string& raw) {
  StoredBitmap bitmap;
  return Convert(bitmap_name, colortable, raw, bitmap, [&] {
    WriteWhole(colortable, ColorTable(bitmap));
    WriteWhole(raw, RawPicture(RawDimensionsOf(bitmap.header), bitmap.rows));
  });
}

int32_t in_memory::convbmp(const std::string& bitmap_name, const std::string& colortable, const std::string& raw,
                           StoredBitmap& read) {
  return Convert(bitmap_name, colortable, raw, read, [] {});
}

}  // namespace kws
