// mkserialimg: puts the 64-byte serial header, which names the receiver
// model, in front of a file (the USB update image). The wrapped file is
// copied unchanged; the header carries its length but no CRC.
#include <string>

#include "fileio/file.h"
#include "format/serial_image.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

// Checked before the input is opened: a long name is refused whether or not
// the input exists. Logs and returns -1.
int32_t RefuseLongName(const std::string& model) {
  if (model.size() <= serial::kMaxModelName) return kStepOk;
  return LogRefusal("mkserialimg", kStepTooBig, FailureCause::kNameTooLong,
                    "ERROR: mkserialimg(), Model Name is too long! Max length = 30");
}

}  // namespace

int32_t mkserialimg(const std::string& input_name, const std::string& output, const std::string& model) {
  if (const int32_t refused = RefuseSharedFiles("mkserialimg", {&input_name}, {&output})) return refused;
  return RunStep("mkserialimg", [&]() -> int32_t {
    DeleteFile(output);
    if (const int32_t code = RefuseLongName(model)) return code;

    InputFile input(input_name);
    const int32_t length = CheckedInt32(input.Size());
    const SerialHeader header = MakeSerialHeader(model, static_cast<uint32_t>(length));
    OutputFile out(output);
    out.Write(header.data(), header.size());
    CopyBytes(input, out, static_cast<uint32_t>(length));
    out.Close();
    return kStepOk;
  });
}

int32_t in_memory::mkserialimg(ByteView input, const std::string& output, const std::string& model, Bytes& serial) {
  return RunStep("mkserialimg", [&]() -> int32_t {
    DeleteFile(output);
    if (const int32_t code = RefuseLongName(model)) return code;
    CheckedInt32(input.size());  // the length field's limit, as for a file
    SerialImage(model, input, serial);
    OutputFile out(output);
    out.Write(serial.data(), serial.size());
    out.Close();
    return kStepOk;
  });
}

}  // namespace kws
