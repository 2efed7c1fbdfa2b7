// mkserialimg: puts the 64-byte serial header, which names the receiver
// model, in front of a file (the USB update image). The wrapped file is
// copied unchanged; the header carries its length but no CRC.
#include <algorithm>
#include <array>
#include <string>

#include "fileio/file.h"
#include "steps/be_fields.h"
#include "steps/image_layouts.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

using SerialHeader = std::array<uint8_t, serial::kHeaderSize>;

// The caller has checked that the name fits its 30 bytes.
SerialHeader BuildHeader(const std::string& model, uint32_t payload_length) {
  SerialHeader header{};
  header[serial::kLeadByte] = serial::kLeadValue;
  // The name ends at its end or at a zero character inside it. The bytes
  // behind it are already zero; a 30-character name has no zero after it,
  // because the marker byte follows it directly.
  const size_t name_length = std::min(model.size(), model.find('\0'));
  std::copy_n(model.begin(), name_length, header.begin() + serial::kModelName);
  header[serial::kMarkerByte] = serial::kMarkerValue;
  std::fill(header.begin() + serial::kFillBeforeLength, header.begin() + serial::kPayloadLength,
            serial::kFillValue);
  PutBE32(&header[serial::kPayloadLength], payload_length);
  std::fill(header.begin() + serial::kFillAfterLength, header.end(), serial::kFillValue);
  return header;
}

}  // namespace

int32_t mkserialimg(const std::string& input_name, const std::string& output, const std::string& model) {
  if (const int32_t refused = RefuseSharedFiles("mkserialimg", {&input_name}, {&output})) return refused;
  return RunStep("mkserialimg", [&]() -> int32_t {
    DeleteFile(output);
    // Checked before the input is opened: a long name is refused whether or
    // not the input exists.
    if (model.size() > serial::kMaxModelName) {
      WriteLog("ERROR: mkserialimg(), Model Name is too long! Max length = 30");
      return kStepTooBig;
    }

    InputFile input(input_name);
    const int32_t length = CheckedInt32(input.Size());
    const SerialHeader header = BuildHeader(model, static_cast<uint32_t>(length));
    OutputFile out(output);
    out.Write(header.data(), header.size());
    CopyBytes(input, out, static_cast<uint32_t>(length));
    out.Close();
    return kStepOk;
  });
}

}  // namespace kws
