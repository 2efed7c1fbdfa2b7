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
  std::string error;   // "ERROR: FormCreate(), Msg=..." when start-up failed, else empty
  std::string reason;  // the system's reason behind it ("Permission denied"), when there is one

  // The error with its reason, as the user is told it.
  std::string Told() const { return reason.empty() ? error : error + ": " + reason; }
};

// The folder the running executable lies in.
std::string ExecutableDir();

// What decides where the working folders go when the user names none.
struct FolderEnvironment {
  std::string exe_dir{};          // the program's own folder
  bool installed = false;         // installed under a prefix, not run from its build or a portable folder
  std::string home{};             // $HOME, else the password database's; empty when neither has one
  std::string xdg_data_home{};    // $XDG_DATA_HOME, when absolute
  std::string xdg_config_home{};  // $XDG_CONFIG_HOME, when absolute

  // The running process's.
  static FolderEnvironment FromProcess();
};

// True for a program that was installed: it lies in a system folder for
// programs, or beside the desktop entry that an install puts in share/.
bool IsInstalledProgram(const std::string& exe_dir);

// The user's documents folder: XDG_DOCUMENTS_DIR from user-dirs.dirs, else
// ~/Documents.
std::string DocumentsFolder(const FolderEnvironment& env);

// The per-user home of the working folders: "Kestro Welcome" in the documents
// folder, where users find the Input batch; or the hidden folder earlier
// versions used ($XDG_DATA_HOME/kestro-welcome, ~/.local/share/kestro-welcome)
// where that already holds working folders. Throws a FileError when the user
// has no home folder at all.
std::string UserDataDir(const FolderEnvironment& env = FolderEnvironment::FromProcess());

// Runs start-up with the working folders under base: creates them (and their
// parents; existing ones are left as they are), points the activity log at
// Log/KestroWelcomeScreen.log and logs the caption. When fallback_base is not
// empty and base cannot be written, the folders go there instead, and the
// log says so once. Working folders that belong to another user are refused.
StartupResult StartUp(const std::string& base, const std::string& fallback_base = {},
                      const std::string& version = FileVersion());

// The start-up both programs make when the user names no home folder: an
// installed program keeps its folders per user, whoever runs it; one run from
// its build or a portable folder keeps them beside itself, or per user when
// that folder cannot be written.
StartupResult StartUpDefault(const FolderEnvironment& env = FolderEnvironment::FromProcess(),
                             const std::string& version = FileVersion());

}  // namespace kws
