#include "driver/startup.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "fileio/file.h"
#include "log/activity_log.h"

namespace kws {

namespace {

// True when the folders can be made under path: the nearest entry that exists
// on the way up is a folder this user may write into.
bool CanWriteUnder(std::filesystem::path path) {
  std::error_code ec;
  path = std::filesystem::absolute(path, ec);
  while (!std::filesystem::exists(path, ec) && path != path.parent_path()) path = path.parent_path();
  return std::filesystem::is_directory(path, ec) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

void CreateFolder(const std::string& path) {
  if (!ForceDirectories(path)) throw FileError("Unable to create directory " + path);
}

}  // namespace

std::string FileVersion() {
#ifdef KWS_FILE_VERSION
  return KWS_FILE_VERSION;
#else
  return {};
#endif
}

std::string MakeCaption(const std::string& version) {
  return std::string(kAppTitle) + "   [Build " + version + "]   by tallowfinch";
}

WorkingFolders FoldersUnder(const std::string& base) {
  WorkingFolders f;
  f.base = base;
  while (f.base.size() > 1 && f.base.back() == '/') f.base.pop_back();
  f.input = f.base + "/Input";
  f.temp = f.base + "/Temp";
  f.output = f.base + "/Output";
  f.log = f.base + "/Log";
  f.log_file = f.log + "/" + kLogFileName;
  return f;
}

std::string ExecutableDir() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec).string();
  return exe.parent_path().string();
}

std::string UserDataDir() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/kestro-welcome";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share/kestro-welcome";
}

StartupResult StartUp(const std::string& base, const std::string& fallback_base, const std::string& version) {
  StartupResult result;
  result.caption = MakeCaption(version);
  const bool fall_back = !fallback_base.empty() && !CanWriteUnder(base);
  result.folders = FoldersUnder(std::filesystem::absolute(fall_back ? fallback_base : base).string());
  const WorkingFolders& f = result.folders;
  // The log path is set first so that a folder that cannot be made is logged
  // whenever the Log folder itself can be.
  SetLogFilePath(f.log_file);
  try {
    for (const std::string* folder : {&f.input, &f.temp, &f.output, &f.log}) CreateFolder(*folder);
    WriteLog(result.caption);
    if (fall_back) {
      WriteLog("Working folders are in " + f.base + ", since " + base + " cannot be written");
    }
  } catch (const std::exception& e) {
    result.error = std::string("ERROR: FormCreate(), Msg=") + e.what();
    WriteLog(result.error);
  }
  return result;
}

}  // namespace kws
