// rawconv: turns the raw picture (two big-endian dimensions, then the rows
// bottom row first, as the bitmap stores them) into bare pixel rows, top row
// first, which is the order the receivers draw them in.
#include <string>
#include <vector>

#include "fileio/file.h"
#include "format/bitmap.h"
#include "format/raw_picture.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

// The dimensions and the whole picture; bytes behind the picture are never
// looked at.
constexpr size_t kRawPictureBytes = raw::kDimensionsSize + kPictureBytes;

// Reads the dimensions and the whole picture before anything is judged, so a
// file too short for a full picture fails on the read whatever its
// dimensions say.
std::vector<uint8_t> ReadRaw(const std::string& name) {
  InputFile in(name);
  std::vector<uint8_t> bytes(kRawPictureBytes);
  in.Read(bytes.data(), bytes.size());
  return bytes;
}

// Logs and returns -1 for dimensions other than 720 x 576; else turns the
// rows, at least a picture's worth, over into output.
int32_t Turn(const std::string& input, RawDimensions dims, std::span<const uint8_t> rows,
             std::vector<uint8_t>& output) {
  if (dims.x != uint32_t{kPictureWidth} || dims.y != uint32_t{kPictureHeight}) {
    // The fields print unsigned: FF FF FF FF shows as 4294967295.
    return LogRefusal("rawconv", kStepTooBig, FailureCause::kImageSize,
                      "ERROR: rawconv(), file " + input + ", image size error! x=" + std::to_string(dims.x) +
                          ", y=" + std::to_string(dims.y));
  }
  TopRowFirst(rows.first(kPictureBytes), output);
  return kStepOk;
}

}  // namespace

int32_t rawconv(const std::string& input, const std::string& output) {
  if (const int32_t refused = RefuseSharedFiles("rawconv", {&input}, {&output})) return refused;
  if (!FileExists(input)) return LogMissingInput("rawconv", input);

  return RunStep("rawconv", [&]() -> int32_t {
    const std::vector<uint8_t> file = ReadRaw(input);
    const std::span<const uint8_t> bytes(file);
    std::vector<uint8_t> rows;
    if (const int32_t code = Turn(input, RawDimensionsOf(bytes.first<raw::kDimensionsSize>()),
                                  bytes.subspan(raw::kDimensionsSize), rows)) {
      return code;
    }
    OutputFile out(output);
    out.Write(rows.data(), rows.size());
    out.Close();
    return kStepOk;
  });
}

int32_t in_memory::rawconv(const std::string& input, RawDimensions dimensions, ByteView rows, Bytes& output) {
  return RunStep("rawconv", [&]() -> int32_t {
    if (rows.size() < kPictureBytes) throw FileError(kStreamReadError);
    return Turn(input, dimensions, rows, output);
  });
}

}  // namespace kws
