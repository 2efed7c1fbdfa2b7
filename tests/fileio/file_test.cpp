#include "fileio/file.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "support/test_support.h"

namespace kws {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::WriteBytes;

class FileLayer : public test::ScratchDirTest {};

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const FileError& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST_F(FileLayer, FailuresCarryThePlatformTexts) {
  WriteBytes("three", Bytes{1, 2, 3});
  std::filesystem::create_directory("folder");
  struct Case {
    const char* what;
    std::function<void()> action;
    std::string message;
  };
  const Case cases[] = {
      {"open missing", [] { InputFile f("missing.bin"); }, "Cannot open file missing.bin"},
      {"open folder", [] { InputFile f("folder"); }, "Cannot open file folder"},
      {"create in missing folder", [] { OutputFile f("nope/out.bin"); }, "Cannot create file nope/out.bin"},
      {"create over folder", [] { OutputFile f("folder"); }, "Cannot create file folder"},
      {"short read",
       [] {
         InputFile f("three");
         uint8_t buf[4];
         f.Read(buf, 4);
       },
       "Stream read error"},
      {"byte past end",
       [] {
         InputFile f("three");
         f.Seek(3);
         f.ReadByte();
       },
       "Stream read error"},
      {"short copy",
       [] {
         InputFile in("three");
         OutputFile out("copy");
         CopyBytes(in, out, 4);
       },
       "Stream read error"},
      {"size over int32", [] { CheckedInt32(0x80000000ull); }, "Range check error"},
  };
  for (const Case& c : cases) EXPECT_EQ(MessageOf(c.action), c.message) << c.what;
}

TEST_F(FileLayer, WritesReadsCopiesAndFills) {
  {
    OutputFile out("a.bin");
    out.Write("abc", 3);
    out.WriteFill(0xFF, 70000);
    out.Close();
  }
  InputFile in("a.bin");
  EXPECT_EQ(in.Size(), 70003u);
  EXPECT_EQ(in.ReadByte(), 'a');
  {
    OutputFile copy("b.bin");
    CopyBytes(in, copy, 70002);
    copy.Close();
  }
  const Bytes b = ReadBytes("b.bin");
  ASSERT_EQ(b.size(), 70002u);
  EXPECT_EQ(b[0], 'b');
  EXPECT_EQ(b[1], 'c');
  EXPECT_EQ(b.back(), 0xFF);
}

TEST_F(FileLayer, CreateReplacesAnExistingFile) {
  WriteBytes("x", Bytes(100, 7));
  OutputFile out("x");
  out.Write("z", 1);
  out.Close();
  EXPECT_EQ(ReadBytes("x"), Bytes{'z'});
}

TEST_F(FileLayer, ExistsDeleteAndForceDirectories) {
  EXPECT_TRUE(ForceDirectories(Path("a/b/c")));
  EXPECT_TRUE(ForceDirectories(Path("a/b/c")));  // already there
  EXPECT_TRUE(DirectoryExists(Path("a/b/c")));
  EXPECT_FALSE(FileExists(Path("a/b/c")));  // a folder is not a file
  WriteBytes(Path("a/f"), Bytes{1});
  EXPECT_TRUE(FileExists(Path("a/f")));
  EXPECT_FALSE(ForceDirectories(Path("a/f/sub")));  // a file stands in the way
  EXPECT_TRUE(DeleteFile(Path("a/f")));
  EXPECT_FALSE(DeleteFile(Path("a/f")));
  EXPECT_FALSE(DeleteFile(Path("a/b")));  // folders are not deleted
  EXPECT_FALSE(FileExists(""));
}

TEST_F(FileLayer, FullDiskIsAStreamWriteError) {
  // A file-size limit stands in for a full disk; the signal it raises is
  // ignored so that the write simply fails.
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string message = MessageOf([] {
    OutputFile out("big.bin");
    out.WriteFill(0x55, 200000);
    out.Close();
  });
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(message, "Stream write error");
}

TEST_F(FileLayer, CurrentDirectoryRoundTrip) {
  const std::string before = GetCurrentDir();
  std::filesystem::create_directory("sub");
  SetCurrentDir("sub");
  EXPECT_EQ(GetCurrentDir(), before + "/sub");
  SetCurrentDir(before);
  EXPECT_NE(MessageOf([] { SetCurrentDir("missing-folder"); }).find("missing-folder"), std::string::npos);
}

}  // namespace
}  // namespace kws
