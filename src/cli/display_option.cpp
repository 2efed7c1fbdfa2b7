#include "cli/display_option.h"

#include "fileio/name_text.h"

namespace kws::cli {

Display DisplayOption(const Invocation& inv) {
  const std::string* text = inv.Value(option::kDisplay);
  if (!text) return Display::k4x3;
  if (const std::optional<Display> display = ParseDisplay(*text)) return *display;
  throw UsageError("--display takes 4:3, 16:9 or square, not \"" + TerminalName(*text) + "\"");
}

}  // namespace kws::cli
