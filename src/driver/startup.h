// Start-up: the caption, the four working folders and the activity log.
#pragma once

#include <string>

namespace kws {

inline constexpr const char* kAppTitle = "Kestro Welcome Screen";
inline constexpr const char* kLogFileName = "KestroWelcomeScreen.log";

// The build's file version, compiled in ("1.0.0.85").
std::string FileVersion();

// "Kestro Welcome Screen   [Build <version>]   by tallowfinch"
std::string MakeCaption(const std::string& version);

// The working folders; absolute, without a trailing separator.
struct WorkingFolders {
  std::string base;
  std::string input;
  std::string temp;
  std::string output;
  std::string log;
  std::string log_file;
};

WorkingFolders FoldersUnder(const std::string& base);

struct StartupResult {
  std::string caption;
  WorkingFolders folders;
  std::string error;  // "ERROR: FormCreate(), Msg=..." when start-up failed, else empty
};

// The folder the running executable lies in.
std::string ExecutableDir();

// The per-user data folder used when the executable's own folder cannot be
// written: $XDG_DATA_HOME/kestro-welcome, or ~/.local/share/kestro-welcome.
std::string UserDataDir();

// Runs start-up with the working folders under base: creates them (and their
// parents; existing ones are left as they are), points the activity log at
// Log/KestroWelcomeScreen.log and logs the caption. When fallback_base is not
// empty and base cannot be written, the folders go there instead, and the
// log says so once.
StartupResult StartUp(const std::string& base, const std::string& fallback_base = {},
                      const std::string& version = FileVersion());

}  // namespace kws
