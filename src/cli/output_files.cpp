#include "cli/output_files.h"

#include <ostream>

#include "cli/terminal.h"
#include "fit/bitmap_file.h"

namespace kws::cli {

std::string OutputRefusal(const Invocation& inv, const std::string& out, const DestinationCheck& target) {
  if (target.MayWrite(inv.Has("--force"))) return {};
  std::string why = RefusalText(out, target);
  if (target.standing == Standing::kUsers) why += "; to replace it, add --force";
  return why;
}

bool RefuseOutput(const Invocation& inv, const std::string& out, const DestinationCheck& target) {
  const std::string why = OutputRefusal(inv, out, target);
  if (!why.empty()) inv.err << kProgram << ": " << why << '\n';
  return !why.empty();
}

void SayReplaced(const Invocation& inv, const std::string& out, const DestinationCheck& target) {
  if (target.Replaces()) inv.err << kProgram << ": " << ReplacedText(out, target) << '\n';
}

int WriteBitmap(Invocation& inv, const std::string& path, const Picture8& picture, const char* what,
                const DestinationCheck& target) {
  try {
    WriteBitmap8(path, picture, target.purpose);
  } catch (const std::exception& e) {
    inv.err << kProgram << ": cannot write " << Escaped(path) << ": " << Escaped(e.what()) << '\n';
    return 1;
  }
  if (inv.verbosity() != Verbosity::kQuiet) inv.out << what << " written: " << Escaped(path) << '\n';
  SayReplaced(inv, path, target);
  return 0;
}

}  // namespace kws::cli
