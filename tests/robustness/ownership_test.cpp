// A file of a user's that root replaces stays the user's: the step command
// (whose steps delete and create their outputs anew) and the writers that
// replace a file by rename both give it back its owner and permission bits.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <sstream>

#include "cli/cli.h"
#include "fileio/file.h"
#include "steps/steps.h"
#include "support/test_support.h"

namespace kws {
namespace {

using test::Bytes;
using test::WriteBytes;

constexpr unsigned kUser = 65534;  // nobody, as on every Debian system

class Ownership : public test::ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  }
  static struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
  }
};

TEST_F(Ownership, AUsersFileReplacedByRootStaysTheUsers) {
  const struct {
    const char* what;
    std::function<void(const std::string& out)> replace;
  } cases[] = {
      {"step appendbin, which deletes its output first",
       [this](const std::string& out) {
         WriteBytes(Path("welcome"), Bytes(100, 7));
         std::ostringstream cout, cerr;
         ASSERT_EQ(RunCli({"step", "appendbin", "0x30000", Path("welcome"), out, "--home", Path("home")}, cout, cerr),
                   0)
             << cerr.str();
       }},
      {"a bitmap written whole",
       [](const std::string& out) {
         WriteFileReplacing(out, Bytes{1, 2, 3});
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string out = Path("users-file");
    WriteBytes(out, Bytes{9});
    ASSERT_EQ(::chown(out.c_str(), kUser, kUser), 0);
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    c.replace(out);
    const struct stat after = StatOf(out);
    EXPECT_NE(test::ReadBytes(out), Bytes{9});
    EXPECT_EQ(after.st_uid, kUser);
    EXPECT_EQ(after.st_gid, kUser);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
  }
}

}  // namespace
}  // namespace kws
