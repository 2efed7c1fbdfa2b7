#include "driver/startup.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

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
  std::string why;
  if (!ForceDirectories(path, &why)) throw FileError("Unable to create directory " + PrintableName(path), why);
}

// A folder someone else owns could hold links or files planted for this run:
// neither the home of the working folders nor any of them is used then. The
// reason why, or empty when the folder is this user's or not there yet.
std::string ForeignFolder(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || st.st_uid == ::geteuid()) return {};
  return "The working folder " + PrintableName(path) + " belongs to another user (uid " + std::to_string(st.st_uid) +
         "); name a folder of your own with --home, or remove it";
}

// The user's own group, as Debian's user private groups give every user one:
// the effective group, with no other member and no other user's primary
// group. A folder only it may write into is the user's alone, as Debian's
// ssh also judges.
bool UsersPrivateGroup(gid_t gid) {
  if (gid != ::getegid()) return false;
  const passwd* user = ::getpwuid(::geteuid());
  const group* members = ::getgrgid(gid);
  if (!user || !members) return false;
  const std::string name = user->pw_name;
  for (char** member = members->gr_mem; member && *member; ++member) {
    if (name != *member) return false;
  }
  ::setpwent();
  bool shared = false;
  while (const passwd* other = ::getpwent()) {
    if (other->pw_gid == gid && other->pw_uid != user->pw_uid) shared = true;
  }
  ::endpwent();
  return !shared;
}

// Why a folder on the way to the home lets another user change what is in
// it (as ssh judges the folders of its keys): someone else owns it, other
// than root, or others may write into it and it is not sticky, so that they
// could swap the folders below for links of their own. Empty when neither.
std::string OpenFolderReason(const std::filesystem::path& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  if (st.st_uid != ::geteuid() && st.st_uid != 0) {
    return "which belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  }
  const bool group_may_write = (st.st_mode & S_IWGRP) != 0 && !UsersPrivateGroup(st.st_gid);
  if ((group_may_write || (st.st_mode & S_IWOTH) != 0) && (st.st_mode & S_ISVTX) == 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return std::string("which ") + ((st.st_mode & S_IWOTH) != 0 ? "anybody" : "its group") + " may write into (mode " +
           mode + ", not sticky)";
  }
  return {};
}

// The first folder from "/" down to base, by the name given and by the real
// path, that another user could change; the reason, or empty.
std::string OpenFolderOnTheWay(const std::string& base) {
#ifdef __EMSCRIPTEN__
  // The page's in-memory file system has one user, whose root folder any
  // program of the page may write into: nobody else can put anything there.
  (void)base;
  return {};
#endif
  std::error_code ec;
  const std::filesystem::path given = std::filesystem::absolute(base, ec).lexically_normal();
  std::filesystem::path existing = given;
  while (!std::filesystem::exists(existing, ec) && existing != existing.parent_path()) {
    existing = existing.parent_path();
  }
  for (const std::filesystem::path& path : {given, std::filesystem::canonical(existing, ec)}) {
    std::filesystem::path prefix;
    for (const auto& part : path) {
      prefix /= part;
      if (prefix.filename().empty() && prefix != prefix.root_path()) continue;
      if (const std::string why = OpenFolderReason(prefix); !why.empty()) {
        return "The home of the working folders " + PrintableName(base) + " lies in " + PrintableName(prefix.string()) +
               ", " + why + ", who could put links or files there for this run; name a folder of your own with --home";
      }
    }
  }
  return {};
}

std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && *value == '/' ? std::string(value) : std::string();
}

std::string HomeFromPasswordDatabase() {
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return {};
  return found->pw_dir && *found->pw_dir == '/' ? std::string(found->pw_dir) : std::string();
}

bool HoldsWorkingFolders(const std::string& base) {
  for (const char* name : {"Input", "Temp", "Output", "Log"}) {
    if (DirectoryExists(base + "/" + name)) return true;
  }
  return false;
}

// XDG_DOCUMENTS_DIR="$HOME/Documents" or ="/absolute/path", as xdg-user-dirs writes it.
std::string DocumentsFromUserDirs(const std::string& file, const std::string& home) {
  std::string text;
  try {
    const std::vector<uint8_t> bytes = ReadWholeFile(file, 64 * 1024);
    text.assign(bytes.begin(), bytes.end());
  } catch (const FileError&) {
    return {};
  }
  std::istringstream lines(text);
  std::string line;
  constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, kKey.size(), kKey) != 0) continue;
    std::string value = line.substr(start + kKey.size());
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value.replace(0, 5, home);
    if (!value.empty() && value.front() == '/' && value != home && value != home + "/") return value;
  }
  return {};
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

bool IsInstalledProgram(const std::string& exe_dir) {
  static constexpr std::array<const char*, 7> kSystemProgramFolders = {
      "/usr/bin", "/usr/local/bin", "/bin", "/usr/sbin", "/usr/local/sbin", "/usr/games", "/usr/local/games"};
  for (const char* folder : kSystemProgramFolders) {
    if (exe_dir == folder) return true;
  }
  // Any other prefix: cmake --install and the package put the desktop entry
  // beside bin/, which a build tree or a portable folder does not have.
  const std::filesystem::path prefix = std::filesystem::path(exe_dir).parent_path();
  return FileExists((prefix / "share/applications/kestro-welcome.desktop").string());
}

FolderEnvironment FolderEnvironment::FromProcess() {
  FolderEnvironment env;
  env.exe_dir = ExecutableDir();
  env.installed = IsInstalledProgram(env.exe_dir);
  env.home = AbsoluteEnv("HOME");
  if (env.home.empty()) env.home = HomeFromPasswordDatabase();
  env.xdg_data_home = AbsoluteEnv("XDG_DATA_HOME");
  env.xdg_config_home = AbsoluteEnv("XDG_CONFIG_HOME");
  return env;
}

std::string DocumentsFolder(const FolderEnvironment& env) {
  const std::string config = env.xdg_config_home.empty() ? env.home + "/.config" : env.xdg_config_home;
  const std::string documents = DocumentsFromUserDirs(config + "/user-dirs.dirs", env.home);
  return documents.empty() ? env.home + "/Documents" : documents;
}

std::string UserDataDir(const FolderEnvironment& env) {
  if (env.home.empty()) {
    throw FileError(
        "There is no home folder for the working folders: HOME is not set and the password database "
        "names none for this user; name a folder with --home");
  }
  const std::string data_home = env.xdg_data_home.empty() ? env.home + "/.local/share" : env.xdg_data_home;
  std::string earlier = data_home + "/kestro-welcome";
  if (HoldsWorkingFolders(earlier)) return earlier;
  return DocumentsFolder(env) + "/Kestro Welcome";
}

StartupResult StartUp(const std::string& base, const std::string& fallback_base, const std::string& version) {
  StartupResult result;
  result.caption = MakeCaption(version);
  const bool fall_back = !fallback_base.empty() && !CanWriteUnder(base);
  result.folders = FoldersUnder(std::filesystem::absolute(fall_back ? fallback_base : base).string());
  const WorkingFolders& f = result.folders;
  // Ownership is settled before anything is made or written: a refused
  // folder gets nothing, not even the log's line about it.
  for (const std::string* folder : {&f.base, &f.input, &f.temp, &f.output, &f.log}) {
    std::string why = ForeignFolder(*folder);
    if (why.empty() && folder == &f.base) why = OpenFolderOnTheWay(f.base);
    if (!why.empty()) {
      SetLogFilePath({});
      result.error = "ERROR: FormCreate(), Msg=" + why;
      return result;
    }
  }
  // The log path is set first so that a folder that cannot be made is logged
  // whenever the Log folder itself can be.
  SetLogFilePath(f.log_file);
  try {
    for (const std::string* folder : {&f.input, &f.temp, &f.output, &f.log}) CreateFolder(*folder);
    WriteLog(result.caption);
    if (fall_back) {
      WriteLog("Working folders are in " + PrintableName(f.base) + ", since " + PrintableName(base) +
               " cannot be written");
    }
  } catch (const std::exception& e) {
    result.error = "ERROR: FormCreate(), Msg=" + LoggedText(e);
    result.reason = ReasonOf(e);
    WriteLog(result.error, result.reason);
  }
  return result;
}

StartupResult StartUpDefault(const FolderEnvironment& env, const std::string& version) {
  try {
    if (!env.installed && CanWriteUnder(env.exe_dir)) return StartUp(env.exe_dir, {}, version);
    // The per-user folder is looked up only when it is needed: a program in
    // a writable folder of its own runs without any home.
    const std::string user_folder = UserDataDir(env);
    return env.installed ? StartUp(user_folder, {}, version) : StartUp(env.exe_dir, user_folder, version);
  } catch (const std::exception& e) {
    StartupResult result;
    result.caption = MakeCaption(version);
    result.error = std::string("ERROR: FormCreate(), Msg=") + e.what();
    return result;
  }
}

}  // namespace kws
