// rawconv: turns the raw picture (two big-endian dimensions, then the rows
// bottom row first, as the bitmap stores them) into bare pixel rows, top row
// first, which is the order the receivers draw them in.
#include <array>
#include <string>
#include <vector>

#include "fileio/file.h"
#include "steps/be_fields.h"
#include "steps/bitmap8.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

constexpr size_t kDimensionsSize = 8;  // width, then height, each big-endian 32-bit
constexpr size_t kWidthOffset = 0;
constexpr size_t kHeightOffset = 4;
constexpr size_t kRowBytes = kPictureWidth;

struct RawPicture {
  uint32_t x = 0;
  uint32_t y = 0;
  std::vector<uint8_t> pixels;
};

// Reads the dimensions and the whole picture before anything is judged, so a
// file too short for a full picture fails on the read whatever its
// dimensions say. Bytes behind the picture are never looked at.
RawPicture ReadRaw(const std::string& name) {
  InputFile in(name);
  std::array<uint8_t, kDimensionsSize> dims{};
  in.Read(dims.data(), dims.size());
  RawPicture raw;
  raw.x = GetBE32(&dims[kWidthOffset]);
  raw.y = GetBE32(&dims[kHeightOffset]);
  raw.pixels.assign(kPictureBytes, 0);
  in.Read(raw.pixels.data(), raw.pixels.size());
  return raw;
}

void WriteRowsTopFirst(const std::string& name, const std::vector<uint8_t>& pixels) {
  OutputFile out(name);
  for (size_t row = kPictureHeight; row-- > 0;) out.Write(&pixels[row * kRowBytes], kRowBytes);
  out.Close();
}

}  // namespace

int32_t rawconv(const std::string& input, const std::string& output) {
  if (const int32_t refused = RefuseSharedFiles("rawconv", {&input}, {&output})) return refused;
  if (!FileExists(input)) return LogMissingInput("rawconv", input);

  return RunStep("rawconv", [&]() -> int32_t {
    const RawPicture raw = ReadRaw(input);
    if (raw.x != uint32_t{kPictureWidth} || raw.y != uint32_t{kPictureHeight}) {
      // The fields print unsigned: FF FF FF FF shows as 4294967295.
      WriteLog("ERROR: rawconv(), file " + input + ", image size error! x=" + std::to_string(raw.x) +
               ", y=" + std::to_string(raw.y));
      return kStepTooBig;
    }
    WriteRowsTopFirst(output, raw.pixels);
    return kStepOk;
  });
}

}  // namespace kws
