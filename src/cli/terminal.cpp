#include "cli/terminal.h"

#include <filesystem>

#include "cli/invocation.h"
#include "fileio/destination.h"
#include "fileio/name_text.h"

namespace kws::cli {

std::string Escaped(const std::string& text) { return TerminalName(text); }

std::string ImportHint(const std::string& picture) {
  const std::filesystem::path path(picture);
  std::string out = (path.parent_path() / (path.stem().string() + ".bmp")).string();
  if (out == picture || path.extension() == ".bmp" || path.extension() == ".BMP") {
    out = (path.parent_path() / (path.stem().string() + "-fit.bmp")).string();
  }
  out = FreeName(out);
  // A name that begins with "-" would be taken for an option.
  const bool dashes = picture.starts_with('-') || out.starts_with('-');
  return std::string(kProgram) + " import " + (dashes ? "-- " : "") + ShellWord(picture) + " " + ShellWord(out);
}

}  // namespace kws::cli
