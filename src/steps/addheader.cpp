// addheader: puts the 16-byte welcome header in front of the joined colour
// table and gzip member. The header's CRC covers everything behind its own
// field, header words included, so the image is first written with a zero CRC
// to the temporary file, the CRC is read back from that file, and the final
// image is then copied from it. The temporary file stays for the caller to
// remove.
#include <string>

#include "fileio/file.h"
#include "format/byte_order.h"
#include "format/welcome_image.h"
#include "steps/file_crc.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

// The data's length as a signed 32-bit count, or "Range check error"; -1,
// logged, when the welcome image cannot hold that much.
int32_t RefuseTooMuchData(uint64_t size, uint32_t& data_length) {
  const int32_t length = CheckedInt32(size);
  if (static_cast<uint32_t>(length) > welcome::kMaxDataLength) {
    return LogRefusal("addheader", kStepTooBig, FailureCause::kTooDetailed,
                      "ERROR: addheader(), raw file is too big! Size=" + std::to_string(length),
                      static_cast<uint32_t>(length));
  }
  data_length = static_cast<uint32_t>(length);
  return kStepOk;
}

void WriteProvisionalImage(InputFile& input, uint32_t data_length, const WelcomeHeader& header,
                           const std::string& temporary) {
  OutputFile out(temporary);
  out.Write(header.data(), header.size());
  CopyBytes(input, out, data_length);
  input.Close();
  out.Close();
}

// The data is taken from the temporary file, not the input, so the output
// repeats exactly the bytes the CRC was computed over.
void WriteFinalImage(const std::string& temporary, const WelcomeHeader& header, uint32_t data_length,
                     const std::string& output) {
  InputFile provisional(temporary);
  WelcomeHeader skipped;
  provisional.Read(skipped.data(), skipped.size());
  // An earlier output is replaced only from here on.
  OutputFile out(output);
  out.Write(header.data(), header.size());
  CopyBytes(provisional, out, data_length);
  out.Close();
}

}  // namespace

int32_t addheader(const std::string& input_name, const std::string& temporary, const std::string& output) {
  if (const int32_t refused = RefuseSharedFiles("addheader", {&input_name}, {&temporary, &output})) return refused;
  if (!FileExists(input_name)) return LogMissingInput("addheader", input_name);

  return RunStep("addheader", [&]() -> int32_t {
    InputFile input(input_name);
    uint32_t data_length = 0;
    if (const int32_t code = RefuseTooMuchData(input.Size(), data_length)) return code;

    WelcomeHeader header = MakeWelcomeHeader(data_length);
    WriteProvisionalImage(input, data_length, header, temporary);
    PutBE32(&header[welcome::kCrc], ImageCrcBehindCrcField(temporary));
    WriteFinalImage(temporary, header, data_length, output);
    return kStepOk;
  });
}

int32_t in_memory::addheader(ByteView input, Bytes& welcome) {
  return RunStep("addheader", [&]() -> int32_t {
    uint32_t data_length = 0;
    if (const int32_t code = RefuseTooMuchData(input.size(), data_length)) return code;
    WelcomeImage(input, welcome);
    return kStepOk;
  });
}

}  // namespace kws
