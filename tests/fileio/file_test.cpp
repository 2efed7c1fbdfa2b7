#include "fileio/file.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <future>
#include <optional>

#include "support/test_support.h"

namespace kws {
namespace {

using test::Bytes;
using test::Exists;
using test::ReadBytes;
using test::ToBytes;
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
      {"open missing", [] { InputFile f("missing.bin"); }, "Cannot open file missing.bin: No such file or directory"},
      {"open folder", [] { InputFile f("folder"); }, "Cannot open file folder: it is not a regular file but a folder"},
      {"create in missing folder", [] { OutputFile f("nope/out.bin"); },
       "Cannot create file nope/out.bin: No such file or directory"},
      {"create over folder", [] { OutputFile f("folder"); },
       "Cannot create file folder: it is not a regular file but a folder"},
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
  std::optional<FileError> failure;
  try {
    OutputFile out("big.bin");
    out.WriteFill(0x55, 200000);
    out.Close();
  } catch (const FileError& e) {
    failure = e;
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  ASSERT_TRUE(failure);
  // The log's text stays the platform's; the system's reason rides beside it.
  EXPECT_EQ(failure->logged(), "Stream write error");
  EXPECT_EQ(failure->reason(), "File too large");
}

TEST_F(FileLayer, CurrentDirectoryRoundTrip) {
  const std::string before = GetCurrentDir();
  std::filesystem::create_directory("sub");
  SetCurrentDir("sub");
  EXPECT_EQ(GetCurrentDir(), before + "/sub");
  SetCurrentDir(before);
  EXPECT_NE(MessageOf([] { SetCurrentDir("missing-folder"); }).find("missing-folder"), std::string::npos);
}

// A named pipe, device, socket or folder given as an input is refused at
// once; before, a pipe kept the reader waiting for ever.
TEST_F(FileLayer, OnlyRegularFilesAreRead) {
  ASSERT_EQ(::mkfifo("pipe.bmp", 0600), 0);
  std::filesystem::create_directory("folder.bmp");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", Path("socket.bmp").c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  std::filesystem::create_symlink("pipe.bmp", "link-to-pipe.bmp");
  const struct {
    std::string name;
    std::string kind;
  } cases[] = {
      {"pipe.bmp", "a named pipe"},        {"folder.bmp", "a folder"},           {"socket.bmp", "No such device"},
      {"/dev/null", "a character device"}, {"link-to-pipe.bmp", "a named pipe"},
  };
  for (const auto& c : cases) {
    auto opened = std::async(std::launch::async, [&] { return MessageOf([&] { InputFile f(c.name); }); });
    ASSERT_EQ(opened.wait_for(std::chrono::seconds(10)), std::future_status::ready) << c.name << " blocks";
    const std::string message = opened.get();
    EXPECT_EQ(message.rfind("Cannot open file " + c.name + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(c.kind), std::string::npos) << message;
    EXPECT_THROW(ReadWholeFile(c.name, 1000), FileError) << c.name;
  }
  ::close(sock);
  EXPECT_EQ(MessageOf([] { InputFile f("pipe.bmp"); }),
            "Cannot open file pipe.bmp: it is not a regular file but a named pipe");
}

// A link planted where a step writes is replaced by the file; what it points
// to is never written.
TEST_F(FileLayer, OutputsReplaceLinksInsteadOfWritingThrough) {
  WriteBytes("precious", Bytes{1, 2, 3});
  std::filesystem::create_symlink(Path("precious"), "welcome.tmp2");
  std::filesystem::create_symlink(Path("nowhere/at/all"), "dangling");
  for (const char* name : {"welcome.tmp2", "dangling"}) {
    OutputFile out(name);
    out.Write("new", 3);
    out.Close();
    EXPECT_FALSE(std::filesystem::is_symlink(name)) << name;
    EXPECT_EQ(ReadBytes(name), ToBytes("new")) << name;
  }
  EXPECT_EQ(ReadBytes("precious"), (Bytes{1, 2, 3}));
  EXPECT_FALSE(Exists(Path("nowhere")));
}

// Writing to a destination the user named: a regular file is replaced whole
// and keeps its rights; a device or pipe is written into, never renamed over.
TEST_F(FileLayer, ReplacingKeepsRightsAndNeverReplacesDevicesOrPipes) {
  WriteBytes("private.bmp", Bytes{9});
  ASSERT_EQ(::chmod("private.bmp", 0600), 0);
  WriteFileReplacing("private.bmp", Bytes{1, 2});
  struct stat st {};
  ASSERT_EQ(::stat("private.bmp", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadBytes("private.bmp"), (Bytes{1, 2}));

  // A device node of our own, the same as /dev/null, where one can be made,
  // so that a fault here cannot damage the machine's.
  std::string null_device = "/dev/null";
  if (::geteuid() == 0 && ::mknod("null", S_IFCHR | 0666, ::makedev(1, 3)) == 0) null_device = Path("null");
  WriteFileReplacing(null_device, Bytes(5000, 7));
  ASSERT_EQ(::lstat(null_device.c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));

  ASSERT_EQ(::mkfifo("out.pipe", 0600), 0);
  {
    // A reader is there first; the bytes fit the pipe's buffer.
    const int reader = ::open("out.pipe", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    WriteFileReplacing("out.pipe", Bytes(5000, 3));
    Bytes got(6000);
    const ssize_t n = ::read(reader, got.data(), got.size());
    ::close(reader);
    got.resize(static_cast<size_t>(std::max<ssize_t>(n, 0)));
    EXPECT_EQ(got, Bytes(5000, 3));
  }
  ASSERT_EQ(::lstat("out.pipe", &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  // With nobody reading, the pipe is refused instead of waited on.
  EXPECT_EQ(MessageOf([] { WriteFileReplacing("out.pipe", Bytes{1}); }),
            "Cannot create file out.pipe: No such device or address");

  std::filesystem::create_directory("folder");
  EXPECT_EQ(MessageOf([] { WriteFileReplacing("folder", Bytes{1}); }),
            "Cannot create file folder: it is not a regular file but a folder");
  EXPECT_EQ(MessageOf([] { CopyFileReplacing("private.bmp", "out.pipe"); }),
            "Cannot create file out.pipe: it is not a regular file but a named pipe");
  for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
    EXPECT_NE(entry.path().filename().string().rfind(kTemporaryPrefix, 0), 0u) << entry.path();
  }
}

// Bytes in memory take a name the way a copied file does: whole or not at
// all, read back by the check before the rename, links replaced, rights kept.
TEST_F(FileLayer, BytesReplaceAFileOnlyOnceTheCheckPasses) {
  const Bytes image = {1, 2, 3, 4};
  std::vector<std::string> checked;
  const auto check = [&](std::string fault) {
    return [&checked, fault](const std::string& written) {
      checked.push_back(written);
      EXPECT_EQ(ReadBytes(written), (Bytes{1, 2, 3, 4}));
      return fault;
    };
  };
  WriteBytes("private.img", Bytes{9});
  ASSERT_EQ(::chmod("private.img", 0600), 0);
  WriteBytes("precious", Bytes{7});
  std::filesystem::create_symlink(Path("precious"), "linked.img");
  std::filesystem::create_directory("folder.img");
  const struct {
    const char* destination;
    std::string fault;           // what the check says
    std::string message;         // what is thrown; empty when the bytes land
    std::optional<Bytes> after;  // the file there afterwards, if any
    size_t checks;
  } cases[] = {
      {"new.img", "", "", image, 1},
      {"private.img", "", "", image, 1},
      {"linked.img", "", "", image, 1},
      {"private.img", "bad image", "bad image", image, 1},  // the earlier image stays
      {"other.img", "bad image", "bad image", std::nullopt, 1},
      {"folder.img", "", "Cannot create file folder.img: it is not a regular file but a folder", std::nullopt, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.destination);
    checked.clear();
    EXPECT_EQ(MessageOf([&] { ReplaceFileWith(c.destination, image, check(c.fault)); }),
              c.message.empty() ? "(no failure)" : c.message);
    EXPECT_EQ(std::filesystem::is_regular_file(c.destination), c.after.has_value());
    EXPECT_EQ(c.after.has_value() ? ReadBytes(c.destination) : Bytes{}, c.after.value_or(Bytes{}));
    EXPECT_EQ(checked.size(), c.checks);
  }
  struct stat st {};
  ASSERT_EQ(::stat("private.img", &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_FALSE(std::filesystem::is_symlink("linked.img"));
  EXPECT_EQ(ReadBytes("precious"), Bytes{7});
  for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
    EXPECT_NE(entry.path().filename().string().rfind(kTemporaryPrefix, 0), 0u) << entry.path();
  }
}

// The temporary copy has a short name of its own, so any name that is legal
// for the result can be written.
TEST_F(FileLayer, LongestLegalNamesCanBeReplaced) {
  const std::string name(255, 'n');
  WriteFileReplacing(name, Bytes{1});
  CopyFileReplacing(name, std::string(254, 'c') + "x");
  EXPECT_EQ(ReadBytes(std::string(254, 'c') + "x"), Bytes{1});
}

TEST_F(FileLayer, StaleTemporariesOfOursAreRemovedAndNothingElse) {
  const std::vector<std::string> ours = {std::string(kTemporaryPrefix) + "a1B2c3", "logo.img.partial-Xy12ab"};
  const std::vector<std::string> theirs = {"logo.img", "notes.partial", ".hidden", "x.partial-toolongname"};
  for (const auto& name : ours) WriteBytes(name, Bytes{1});
  for (const auto& name : theirs) WriteBytes(name, Bytes{1});
  std::filesystem::create_directory(std::string(kTemporaryPrefix) + "folder");
  EXPECT_EQ(RemoveStaleTemporaries(Dir()), 2);
  for (const auto& name : ours) EXPECT_FALSE(Exists(name)) << name;
  for (const auto& name : theirs) EXPECT_TRUE(Exists(name)) << name;
}

TEST_F(FileLayer, SameFileByInodeOrPath) {
  WriteBytes("a", Bytes{1});
  WriteBytes("b", Bytes{1});
  ASSERT_EQ(::link("a", "hard-a"), 0);
  std::filesystem::create_symlink("a", "soft-a");
  std::filesystem::create_directory("sub");
  const struct {
    std::string first, second;
    bool same;
  } cases[] = {
      {"a", "a", true},      {"a", "./a", true}, {"a", Path("a"), true},      {"a", "hard-a", true},
      {"a", "soft-a", true}, {"a", "b", false},  {"new", "sub/../new", true}, {"new", "other", false},
      {"a", "new", false},
  };
  for (const auto& c : cases) EXPECT_EQ(SameFile(c.first, c.second), c.same) << c.first << " vs " << c.second;
}

TEST_F(FileLayer, NamesAreShownWithControlCharactersEscaped) {
  const struct {
    std::string name, shown;
  } cases[] = {
      {"logo.bmp", "logo.bmp"},
      {"a\r\nb.bmp", "a\\r\\nb.bmp"},
      {"\x1b[31mred\t.bmp", "\\x1b[31mred\\t.bmp"},
      {"caf\xe9 \x7f.bmp", "caf\xe9 \\x7f.bmp"},  // non-UTF-8 bytes stay as they are
  };
  for (const auto& c : cases) EXPECT_EQ(PrintableName(c.name), c.shown);
  EXPECT_EQ(MessageOf([] { InputFile f("bad\nname"); }), "Cannot open file bad\\nname: No such file or directory");
}

}  // namespace
}  // namespace kws
