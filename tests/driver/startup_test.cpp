#include "driver/startup.h"

#include <filesystem>

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

}  // namespace
}  // namespace kws
