// appendbin: pads the welcome image with 0xFF bytes to the exact size of the
// receiver's welcome partition.
#include <string>

#include "fileio/file.h"
#include "format/welcome_image.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

// The full 64-bit length is compared, so an input beyond 4 GiB can never
// pass for a small one. Logs and returns -1 when it does not fit.
int32_t RefuseTooBig(uint64_t length, uint32_t size) {
  if (length <= size) return kStepOk;
  return LogRefusal("appendbin", kStepTooBig, FailureCause::kTooBig, "ERROR: appendbin(), input is too big!");
}

}  // namespace

int32_t appendbin(uint32_t size, const std::string& input_name, const std::string& output) {
  if (const int32_t refused = RefuseSharedFiles("appendbin", {&input_name}, {&output})) return refused;
  return RunStep("appendbin", [&]() -> int32_t {
    DeleteFile(output);
    InputFile input(input_name);
    const uint64_t length = input.Size();
    if (const int32_t code = RefuseTooBig(length, size)) return code;

    OutputFile out(output);
    CopyBytes(input, out, length);
    input.Close();
    out.WriteFill(kPartitionFill, size - length);
    out.Close();
    return kStepOk;
  });
}

int32_t in_memory::appendbin(uint32_t size, ByteView input, Bytes& output) {
  return RunStep("appendbin", [&]() -> int32_t {
    if (const int32_t code = RefuseTooBig(input.size(), size)) return code;
    PartitionImage(input, size, output);
    return kStepOk;
  });
}

}  // namespace kws
