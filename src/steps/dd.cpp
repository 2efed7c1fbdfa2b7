// dd: joins two files into a third, the colour table followed by the gzip
// member, with nothing between them.
#include <string>

#include "fileio/file.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

int32_t dd(const std::string& first, const std::string& second, const std::string& output) {
  if (const int32_t refused = RefuseSharedFiles("dd", {&first, &second}, {&output})) return refused;
  return RunStep("dd", [&]() -> int32_t {
    DeleteFile(output);
    // The first part is opened before the output is created: when it is
    // missing, no output is left behind.
    InputFile first_part(first);
    OutputFile out(output);
    CopyBytes(first_part, out, first_part.Size());
    first_part.Close();

    // A missing second part leaves the output holding the first part only.
    InputFile second_part(second);
    CopyBytes(second_part, out, second_part.Size());
    second_part.Close();
    out.Close();
    return kStepOk;
  });
}

int32_t in_memory::dd(ByteView first, ByteView second, Bytes& output) {
  return RunStep("dd", [&]() -> int32_t {
    output.assign(first.begin(), first.end());
    output.insert(output.end(), second.begin(), second.end());
    return kStepOk;
  });
}

}  // namespace kws
