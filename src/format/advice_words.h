// Whose words a message's advice uses for what the user can do next: the
// command line's options and commands (which the window's messages share), or
// the browser page's controls. The core words each such advice in one place
// for both.
#pragma once

namespace kws {

enum class AdviceWords { kCommandLine, kPage };

}  // namespace kws
