#include "log/activity_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "support/test_support.h"

namespace kws {
namespace {

using test::ScratchDirTest;

class ActivityLog : public ScratchDirTest {};

TEST_F(ActivityLog, FirstCallCreatesFileWithCreationLineThenEntry) {
  ASSERT_TRUE(WriteLog("rawconv: Ret=0, In=welcome.qv.raw, Out=welcome.qv.raw2"));
  const std::string text = LogText();
  const std::regex layout(
      "Logfile created: \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n\r\n"
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} => "
      "rawconv: Ret=0, In=welcome.qv.raw, Out=welcome.qv.raw2\r\n");
  EXPECT_TRUE(std::regex_match(text, layout)) << text;
}

TEST_F(ActivityLog, LaterCallsAppendWithoutNewCreationLine) {
  ASSERT_TRUE(WriteLog("one"));
  ASSERT_TRUE(WriteLog("two"));
  const std::string text = LogText();
  EXPECT_EQ(text.find("Logfile created"), text.rfind("Logfile created"));
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(ActivityLog, MessageBytesAreWrittenUnchangedAndCut) {
  struct Case {
    std::string message;
    std::string written;
  };
  const std::string long_message = std::string(8000, 'a') + std::string(1000, 'b');
  const Case cases[] = {
      {"", ""},
      {"line one\r\nline two\nthree", "line one\r\nline two\nthree"},
      {"bytes \xB4\xFF\x01 kept", "bytes \xB4\xFF\x01 kept"},
      {long_message, std::string(8000, 'a')},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(Path("test.log"));
    ASSERT_TRUE(WriteLog(c.message));
    const std::string text = LogText();
    const size_t entry_start = text.find("\r\n\r\n") + 4;
    const std::string entry = text.substr(entry_start);
    EXPECT_EQ(entry.size(), 23 + 4 + c.written.size() + 2);
    EXPECT_EQ(entry.substr(23), " => " + c.written + "\r\n");
  }
}

TEST_F(ActivityLog, NineThousandCharactersGiveAnEntryOf8029) {
  ASSERT_TRUE(WriteLog(std::string(9000, 'x')));
  const std::string text = LogText();
  EXPECT_EQ(text.size() - (text.find("\r\n\r\n") + 4), 8029u);
}

TEST_F(ActivityLog, MissingFolderReturnsFalseAndWritesNothing) {
  SetLogFilePath(Path("no-such-folder/KestroWelcomeScreen.log"));
  EXPECT_FALSE(WriteLog("lost"));
  EXPECT_FALSE(test::Exists(Path("no-such-folder")));
}

TEST_F(ActivityLog, DeletedFileIsCreatedAnew) {
  ASSERT_TRUE(WriteLog("first"));
  std::filesystem::remove(Path("test.log"));
  ASSERT_TRUE(WriteLog("second"));
  EXPECT_EQ(LogText().rfind("Logfile created: ", 0), 0u);
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"second"});
}

TEST_F(ActivityLog, FileLockedByAnotherOpenerLosesTheEntry) {
  ASSERT_TRUE(WriteLog("before"));
  // flock locks belong to the open file description, so a second open in this
  // process stands in for another program holding the log.
  const int holder = ::open(Path("test.log").c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(WriteLog("lost while locked"));
  ::close(holder);
  EXPECT_TRUE(WriteLog("after"));
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"before", "after"}));
}

TEST_F(ActivityLog, ListenerSeesEveryMessageEvenWhenTheFileCannotBeWritten) {
  std::vector<std::string> seen;
  SetLogListener([&](std::string_view m, std::string_view) { seen.emplace_back(m); });
  WriteLog("written");
  SetLogFilePath(Path("missing/x.log"));
  WriteLog(std::string(9000, 'z'));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], "written");
  EXPECT_EQ(seen[1].size(), 8000u);
}

// Another writer that holds the log for a moment (a second run appending its
// own entry) is waited for; only a log that stays locked loses the entry.
TEST_F(ActivityLog, ALockHeldForAMomentIsWaitedFor) {
  ASSERT_TRUE(WriteLog("before"));
  const int holder = ::open(Path("test.log").c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  std::thread releaser([holder] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ::close(holder);
  });
  EXPECT_TRUE(WriteLog("after a moment"));
  releaser.join();
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"before", "after a moment"}));
}

TEST_F(ActivityLog, ALogThatCannotBeWrittenIsToldOncePerPath) {
  std::vector<std::string> told;
  SetLogFailureHandler([&](const std::string& why) { told.push_back(why); });
  SetLogFilePath(Path("missing/x.log"));
  EXPECT_FALSE(WriteLog("one"));
  EXPECT_FALSE(WriteLog("two"));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0], "The activity log " + Path("missing/x.log") +
                         " cannot be created: No such file or directory; its entries are lost");
  std::filesystem::create_directory(Path("fifo-folder"));
  ASSERT_EQ(::mkfifo(Path("fifo-folder/x.log").c_str(), 0600), 0);
  SetLogFilePath(Path("fifo-folder/x.log"));
  EXPECT_FALSE(WriteLog("three"));
  SetLogFailureHandler(nullptr);
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[1], "The activity log " + Path("fifo-folder/x.log") + " is not a regular file; its entries are lost");
}

}  // namespace
}  // namespace kws
