// convbmp: splits a 720 x 576 8-bit bitmap into its colour table and its raw
// picture (two big-endian dimensions, then the pixel rows as they stand in
// the bitmap, bottom row first).
#include <functional>
#include <string>
#include <string_view>

#include "fileio/file.h"
#include "format/bitmap.h"
#include "format/raw_picture.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

// The record of convbmp's refusal of this bitmap, with the header it read.
StepFailure Refusal(const StoredBitmap& bitmap, int32_t code, FailureCause cause, const std::string& text,
                    const std::string& line) {
  return {.operation = "convbmp",
          .code = code,
          .cause = cause,
          .text = text,
          .broken_rule = bitmap.broken,
          .header = bitmap.header,
          .line = line};
}

// Logs the rule the header breaks and returns its code; 0 when convbmp
// takes the bitmap.
int32_t RefuseBrokenRule(const StoredBitmap& bitmap) {
  const BitmapHeader& hdr = bitmap.header;
  const auto refuse = [&](int32_t code, const std::string& line) {
    LogStepFailure(
        Refusal(bitmap, code, FailureCause::kBrokenRule, line.substr(std::string_view("ERROR: ").size()), line));
    return code;
  };
  switch (bitmap.broken) {
    case BitmapRule::kAtMost8Bits:
      return refuse(kConvbmpBitDepthTooHigh, "ERROR: bitdepth > 8 not supported!");
    case BitmapRule::kUncompressed:
      return refuse(kConvbmpCompressed, "ERROR: compression not supported!");
    case BitmapRule::kIs720x576:
      return refuse(kConvbmpWrongSize, "ERROR: Bitmap must have 720x576 pixels! cx=" + std::to_string(hdr.width) +
                                           ", cy=" + std::to_string(hdr.height));
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

  bitmap.header_read = false;
  const auto describe = [&](StepFailure& failure) {
    if (!bitmap.header_read) return;
    failure.broken_rule = bitmap.broken;
    failure.header = bitmap.header;
  };
  return RunStep(
      "convbmp",
      [&]() -> int32_t {
        InputFile file(bitmap_name);
        ReadStoredBitmap(std::bind_front(&InputFile::ReadAt, &file), bitmap);
        if (const int32_t code = RefuseBrokenRule(bitmap)) return code;
        // Refused before any output is touched: the images would hold another
        // picture than the one the user sees.
        if (!bitmap.another_picture.empty()) {
          LogStepFailure(Refusal(bitmap, kStepFailed, FailureCause::kAnotherPicture, bitmap.another_picture,
                                 "ERROR: convbmp(), Msg=" + bitmap.another_picture));
          return kStepFailed;
        }
        keep();
        if (!bitmap.Complete()) throw FileError(kStreamReadError);
        return kStepOk;
      },
      describe);
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
