#include "cli/output_files.h"

#include <ostream>

#include "cli/terminal.h"
#include "fit/bitmap_file.h"

namespace kws::cli {

std::string OutputRefusal(const Invocation& inv, const std::string& out, const DestinationCheck& target) {
  if (target.MayWrite(inv.Has(option::kForce))) return {};
  std::string why = RefusalText(out, target);
  if (target.standing == Standing::kUsers) why += "; to replace it, add --force";
  return why;
}

bool RefuseOutput(const Invocation& inv, const std::string& out, const DestinationCheck& target) {
  const std::string why = OutputRefusal(inv, out, target);
  if (!why.empty()) inv.err << kProgram << ": " << Escaped(why) << '\n';
  return !why.empty();
}

void SayReplaced(const Invocation& inv, const std::string& out, const DestinationCheck& target) {
  if (target.Replaces()) inv.err << kProgram << ": " << Escaped(ReplacedText(out, target)) << '\n';
}

void SayWritten(const Invocation& inv, const std::string& out, const DestinationCheck& target,
                const WrittenTo& written) {
  if (written.Diverted()) {
    inv.err << kProgram << ": " << Escaped(DivertedText(out, written)) << '\n';
    return;
  }
  SayReplaced(inv, out, target);
}

int WriteBitmap(Invocation& inv, const std::string& path, const Picture8& picture, const char* what,
                const DestinationCheck& target) {
  WrittenTo written;
  try {
    written = WriteJudged(path, target, EncodeBitmap8(picture));
  } catch (const std::exception& e) {
    inv.err << kProgram << ": cannot write " << Escaped(path) << ": " << Escaped(WriteFailureText(path, e)) << '\n';
    return 1;
  }
  if (inv.verbosity() != Verbosity::kQuiet) inv.out << what << " written: " << Escaped(written.name) << '\n';
  SayWritten(inv, path, target, written);
  return 0;
}

}  // namespace kws::cli
