// appendbin: pads the welcome image with 0xFF bytes to the exact size of the
// receiver's welcome partition.
#include <string>

#include "fileio/file.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {
// The unused end of a partition holds 0xFF bytes, never 0x00.
constexpr uint8_t kPartitionFill = 0xFF;
}  // namespace

int32_t appendbin(uint32_t size, const std::string& input_name, const std::string& output) {
  if (const int32_t refused = RefuseSharedFiles("appendbin", {&input_name}, {&output})) return refused;
  return RunStep("appendbin", [&]() -> int32_t {
    DeleteFile(output);
    InputFile input(input_name);
    // The full 64-bit length is compared, so an input beyond 4 GiB can never
    // pass for a small one.
    const uint64_t length = input.Size();
    if (length > size) {
      input.Close();
      WriteLog("ERROR: appendbin(), input is too big!");
      return kStepTooBig;
    }

    OutputFile out(output);
    CopyBytes(input, out, length);
    input.Close();
    out.WriteFill(kPartitionFill, size - length);
    out.Close();
    return kStepOk;
  });
}

}  // namespace kws
