#include "driver/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "log/activity_log.h"
#include "support/test_support.h"

namespace kws {
namespace {

class StartUpTest : public test::ScratchDirTest {};

TEST(Caption, CarriesTheBuildNumber) {
  EXPECT_EQ(MakeCaption(FileVersion()), "Kestro Welcome Screen   [Build 1.0.0.85]   by tallowfinch");
  EXPECT_EQ(MakeCaption(""), "Kestro Welcome Screen   [Build ]   by tallowfinch");
}

TEST_F(StartUpTest, FirstStartCreatesFoldersAndLog) {
  const StartupResult r = StartUp(Path("tool/bin"));
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.folders.input, Path("tool/bin/Input"));
  EXPECT_EQ(r.folders.log_file, Path("tool/bin/Log/KestroWelcomeScreen.log"));
  for (const char* folder : {"Input", "Temp", "Output", "Log"}) {
    EXPECT_TRUE(std::filesystem::is_directory(Path(std::string("tool/bin/") + folder))) << folder;
  }
  EXPECT_EQ(LogFilePath(), r.folders.log_file);
  const test::Bytes log = test::ReadBytes(r.folders.log_file);
  const std::string text(log.begin(), log.end());
  EXPECT_EQ(text.rfind("Logfile created: ", 0), 0u);
  EXPECT_NE(text.find("\r\n\r\n"), std::string::npos);
  EXPECT_NE(text.find(" => " + r.caption + "\r\n"), std::string::npos);
}

TEST_F(StartUpTest, SecondStartKeepsFoldersAndAppendsCaption) {
  const StartupResult first = StartUp(Dir());
  test::WriteBytes(first.folders.input + "/keep.bmp", {1, 2, 3});
  const StartupResult second = StartUp(Dir());
  EXPECT_EQ(second.error, "");
  EXPECT_EQ(test::ReadBytes(first.folders.input + "/keep.bmp"), (test::Bytes{1, 2, 3}));
  const test::Bytes log = test::ReadBytes(second.folders.log_file);
  const std::string text(log.begin(), log.end());
  EXPECT_EQ(text.find("Logfile created"), text.rfind("Logfile created"));
  EXPECT_NE(text.find(second.caption), text.rfind(second.caption));
}

TEST_F(StartUpTest, UnwritableBaseFallsBackToTheUserFolderAndSaysSo) {
  test::WriteBytes(Path("plain-file"), {0});  // nothing can be made under a file, not even by root
  const StartupResult r = StartUp(Path("plain-file/bin"), Path("user-data"));
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(r.folders.base, Path("user-data"));
  EXPECT_TRUE(std::filesystem::is_directory(Path("user-data/Output")));
  const test::Bytes log = test::ReadBytes(r.folders.log_file);
  const std::string text(log.begin(), log.end());
  EXPECT_NE(text.find("Working folders are in " + Path("user-data")), std::string::npos);
}

TEST_F(StartUpTest, FolderThatCannotBeMadeIsReported) {
  std::filesystem::create_directories(Path("base/Log"));
  test::WriteBytes(Path("base/Temp"), {0});  // a file where a folder belongs
  const StartupResult r = StartUp(Path("base"));
  EXPECT_EQ(r.error, "ERROR: FormCreate(), Msg=Unable to create directory " + Path("base/Temp"));
  EXPECT_FALSE(std::filesystem::exists(Path("base/Output")));  // start-up stopped there
  const test::Bytes log = test::ReadBytes(Path("base/Log/KestroWelcomeScreen.log"));
  EXPECT_NE(std::string(log.begin(), log.end()).find(r.error), std::string::npos);
}

// Where the working folders go when the user names none.
TEST_F(StartUpTest, InstalledProgramsKeepTheirFoldersPerUserAndVisible) {
  std::filesystem::create_directories(Path("prefix/bin"));
  std::filesystem::create_directories(Path("prefix/share/applications"));
  test::WriteBytes(Path("prefix/share/applications/kestro-welcome.desktop"), {1});
  std::filesystem::create_directories(Path("build/bin"));
  std::filesystem::create_directories(Path("home-with-dirs/.config"));
  test::WriteBytes(Path("home-with-dirs/.config/user-dirs.dirs"),
                   test::ToBytes("# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                 "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"));
  std::filesystem::create_directories(Path("home-with-earlier/.local/share/kestro-welcome/Output"));

  EXPECT_TRUE(IsInstalledProgram(Path("prefix/bin")));
  EXPECT_TRUE(IsInstalledProgram("/usr/bin"));
  EXPECT_TRUE(IsInstalledProgram("/usr/local/bin"));
  EXPECT_FALSE(IsInstalledProgram(Path("build/bin")));

  const struct {
    const char* what;
    FolderEnvironment env;
    std::string base;
  } cases[] = {
      {"from its build: beside itself", {.exe_dir = Path("build/bin"), .home = Path("home")}, Path("build/bin")},
      {"installed: the documents folder",
       {.exe_dir = Path("prefix/bin"), .installed = true, .home = Path("home")},
       Path("home/Documents/Kestro Welcome")},
      {"installed, even when its folder can be written",
       {.exe_dir = Path("prefix/bin"), .installed = true, .home = Path("home-with-dirs")},
       Path("home-with-dirs/Dokumente/Kestro Welcome")},
      {"installed, folders of an earlier version",
       {.exe_dir = Path("prefix/bin"), .installed = true, .home = Path("home-with-earlier")},
       Path("home-with-earlier/.local/share/kestro-welcome")},
      {"installed, XDG_CONFIG_HOME elsewhere",
       {.exe_dir = Path("prefix/bin"),
        .installed = true,
        .home = Path("home"),
        .xdg_config_home = Path("home-with-dirs/.config")},
       Path("home/Dokumente/Kestro Welcome")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const StartupResult r = StartUpDefault(c.env);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.folders.base, c.base);
    EXPECT_TRUE(std::filesystem::is_directory(c.base + "/Output"));
  }
  EXPECT_FALSE(std::filesystem::exists(Path("prefix/bin/Output")));
}

TEST_F(StartUpTest, NoHomeAtAllRefusesToStart) {
  test::WriteBytes(Path("plain-file"), {0});
  const FolderEnvironment env{.exe_dir = Path("plain-file/bin")};
  const StartupResult r = StartUpDefault(env);
  EXPECT_EQ(r.error.rfind("ERROR: FormCreate(), Msg=There is no home folder for the working folders", 0), 0u)
      << r.error;
  EXPECT_TRUE(r.folders.base.empty());
  EXPECT_FALSE(std::filesystem::exists("/.local/share/kestro-welcome/Temp"));
  // A program in a folder of its own needs no home.
  EXPECT_EQ(StartUpDefault({.exe_dir = Path("portable")}).folders.base, Path("portable"));
}

TEST_F(StartUpTest, HomeComesFromThePasswordDatabaseWhenUnset) {
  const char* saved = std::getenv("HOME");
  const std::string kept = saved ? saved : "";
  ::unsetenv("HOME");
  const FolderEnvironment env = FolderEnvironment::FromProcess();
  if (saved) ::setenv("HOME", kept.c_str(), 1);
  EXPECT_FALSE(env.home.empty());
  EXPECT_EQ(env.home.front(), '/');
}

TEST_F(StartUpTest, WorkingFoldersOfAnotherUserAreRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  std::filesystem::create_directories(Path("base/Temp"));
  ASSERT_EQ(::chown(Path("base/Temp").c_str(), 12345, 12345), 0);
  const StartupResult r = StartUp(Path("base"));
  EXPECT_EQ(r.error, "ERROR: FormCreate(), Msg=The working folder " + Path("base/Temp") +
                         " belongs to another user (uid 12345); name a folder of your own with --home, or remove it");
}

// Ownership is settled before anything is written: the home of the working
// folders and each of them, even one anybody may write into; a refused start
// leaves every folder as it found it, and writes no log line anywhere.
TEST_F(StartUpTest, AnotherUsersFolderGetsNothingWritten) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  namespace fs = std::filesystem;
  for (const char* foreign : {"", "/Log", "/Input", "/Output"}) {
    SCOPED_TRACE(std::string("foreign: base") + foreign);
    fs::remove_all(Path("base"));
    const std::string folder = Path("base") + foreign;
    fs::create_directories(Path("base/Log"));
    fs::create_directories(folder);
    std::vector<std::string> before;
    for (const auto& e : fs::recursive_directory_iterator(Path("base"))) before.push_back(e.path().string());
    std::sort(before.begin(), before.end());
    ASSERT_EQ(::chown(folder.c_str(), 12345, 12345), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    const StartupResult r = StartUp(Path("base"));
    EXPECT_NE(r.error.find("The working folder " + folder + " belongs to another user (uid 12345)"), std::string::npos)
        << r.error;
    std::vector<std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(Path("base"))) entries.push_back(e.path().string());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, before);
  }
}

// A home is refused when a folder on its way from "/" lets another user
// change it, by the name given or by its real path; nothing is made then.
TEST_F(StartUpTest, AHomeUnderAFolderOthersMayChangeIsRefused) {
  namespace fs = std::filesystem;
  const bool root = ::geteuid() == 0;
  const struct {
    const char* name;
    unsigned mode;       // of "open", the folder above the home
    unsigned owner;      // of "open": 0 for this user
    unsigned group;      // of "open": 0 for the user's own group
    const char* home;    // the home named
    const char* reason;  // said of "open", or empty when the home is taken
  } cases[] = {
      {"anybody may write, not sticky", 0777, 0, 0, "open/home",
       "which anybody may write into (mode 0777, not sticky)"},
      {"another group may write", 0775, 0, 12345, "open/home",
       "which its group may write into (mode 0775, not sticky)"},
      {"the user's own group may write (umask 002)", 0775, 0, 0, "open/home", ""},
      {"anybody may write, sticky", 01777, 0, 0, "open/home", ""},
      {"the home not made yet, deep below", 0777, 0, 0, "open/a/b/home",
       "which anybody may write into (mode 0777, not sticky)"},
      {"its real path through it", 0777, 0, 0, "link/home", "which anybody may write into (mode 0777, not sticky)"},
      {"another user's", 0755, 12345, 12345, "open/home", "which belongs to another user (uid 12345)"},
      {"the user's own folders all the way", 0755, 0, 0, "open", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if ((c.owner != 0 || c.group != 0) && !root) continue;
    fs::remove_all(Path("open"));
    fs::remove(Path("link"));
    fs::create_directories(Path("open/inner"));
    // A link to a folder of the user's whose real path passes through "open".
    fs::create_directory_symlink(Path("open/inner"), Path("link"));
    if (std::string(c.home) == "open/home") fs::create_directory(Path("open/home"));
    ASSERT_EQ(::chmod(Path("open").c_str(), c.mode), 0);
    if (c.owner != 0 || c.group != 0) {
      ASSERT_EQ(
          ::chown(Path("open").c_str(), c.owner != 0 ? c.owner : ::geteuid(), c.group != 0 ? c.group : ::getegid()), 0);
    }
    const StartupResult r = StartUp(Path(c.home));
    if (*c.reason == '\0') {
      EXPECT_EQ(r.error, "");
      continue;
    }
    EXPECT_EQ(r.error, "ERROR: FormCreate(), Msg=The home of the working folders " + Path(c.home) + " lies in " +
                           Path("open") + ", " + c.reason +
                           ", who could put links or files there for this run; name a folder of your own with --home");
    EXPECT_FALSE(fs::exists(Path("open/home/Log"))) << "nothing is made";
    EXPECT_FALSE(fs::exists(Path("open/a")));
  }
  // The home itself is on its way too.
  fs::remove_all(Path("open"));
  fs::create_directory(Path("open"));
  ASSERT_EQ(::chmod(Path("open").c_str(), 0757), 0);
  EXPECT_NE(StartUp(Path("open")).error.find(Path("open") + ", which anybody may write into (mode 0757"),
            std::string::npos);
}

}  // namespace
}  // namespace kws
