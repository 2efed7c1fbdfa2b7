#include "steps/gzip_f9.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "fileio/file.h"
#include "format/byte_order.h"
#include "steps/steps.h"
#include "support/test_support.h"

namespace kws {
namespace {

using test::Bytes;
using test::Exists;
using test::Hex;
using test::ReadBytes;
using test::ToBytes;
using test::WriteBytes;

constexpr size_t kBlock = 16384;
constexpr uint32_t kStoredTime = 1139513610;  // 2006-02-09 19:33:30 UTC

// The ten header bytes with the name flag, as every step output starts.
const Bytes& NamedHeader() {
  static const Bytes header = Hex("1F 8B 08 08 0A 99 EB 43 02 03");
  return header;
}

// A picture-sized source: stripes under two bits of noise, so that it holds
// many short matches and compresses differently under each strategy.
Bytes Picture(size_t size = 720 * 576) {
  Bytes p(size);
  uint32_t seed = 12345;
  for (size_t i = 0; i < p.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    const size_t x = i % 720, y = i / 720;
    p[i] = static_cast<uint8_t>((x / 24 + y / 16) * 9 + ((seed >> 16) & 3));
  }
  return p;
}

Bytes Noise(size_t size) {
  Bytes p(size);
  uint32_t seed = 99;
  for (uint8_t& b : p) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return p;
}

Bytes Slice(const Bytes& b, size_t from, size_t to) { return Bytes(b.begin() + from, b.begin() + to); }

Bytes Le32(uint32_t value) {
  Bytes b(4);
  PutLE32(b.data(), value);
  return b;
}

// What an independent gzip decoder (zlib's inflate with gzip decoding) makes
// of a file.
struct Member {
  int result = Z_DATA_ERROR;  // Z_STREAM_END for a complete member, CRC and length checked
  size_t left_over = 0;       // bytes behind the member
  Bytes data;
  std::optional<std::string> name;
  std::optional<std::string> comment;
  uLong time = 0;
  int xflags = -1;
  int os = -1;
};

Member Decode(const Bytes& file) {
  Member m;
  z_stream z{};
  if (inflateInit2(&z, 16 + 15) != Z_OK) return m;
  std::array<Bytef, 4096> name{};
  std::array<Bytef, 4096> comment{};
  gz_header head{};
  head.name = name.data();
  head.name_max = name.size() - 1;
  head.comment = comment.data();
  head.comm_max = comment.size() - 1;
  inflateGetHeader(&z, &head);
  z.next_in = const_cast<Bytef*>(file.data());
  z.avail_in = static_cast<uInt>(file.size());
  std::array<uint8_t, 65536> out{};
  do {
    z.next_out = out.data();
    z.avail_out = out.size();
    m.result = inflate(&z, Z_NO_FLUSH);
    m.data.insert(m.data.end(), out.data(), z.next_out);
  } while (m.result == Z_OK);
  m.left_over = z.avail_in;
  // inflate leaves the field pointers null when the header has no such field.
  if (head.name != Z_NULL) m.name = reinterpret_cast<const char*>(name.data());
  if (head.comment != Z_NULL) m.comment = reinterpret_cast<const char*>(comment.data());
  m.time = head.time;
  m.xflags = head.xflags;
  m.os = head.os;
  inflateEnd(&z);
  return m;
}

// The same data through zlib in one go, with the step's deflate parameters.
Bytes RawDeflate(const Bytes& data, int level, int strategy) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
  Bytes out(deflateBound(&z, data.size()));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t Crc32(const Bytes& data) { return static_cast<uint32_t>(crc32_z(0, data.data(), data.size())); }

bool HaveGzipTool() { return std::system("gzip --version > /dev/null 2>&1") == 0; }

int OpenFileCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// The access modes (O_RDONLY, O_WRONLY, O_RDWR) of this process's open
// descriptors on a file. Holds for root too, whom no permission bit stops.
std::vector<int> AccessModesOn(const std::string& path) {
  const auto target = std::filesystem::canonical(path);
  std::vector<int> modes;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path(), ec) != target || ec) continue;
    std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
    std::string key;
    std::string value;
    while (info >> key >> value) {
      if (key == "flags:") modes.push_back(static_cast<int>(std::stoul(value, nullptr, 8)) & O_ACCMODE);
    }
  }
  return modes;
}

class GzipStep : public test::ScratchDirTest {};

TEST_F(GzipStep, PictureBecomesOneMemberUnderItsBareName) {
  const Bytes picture = Picture();
  WriteBytes("welcome.qv.raw2", picture);
  ASSERT_EQ(gzip_f9("welcome.qv.raw2", "welcome.qv.raw2.gz"), 0);
  EXPECT_TRUE(LogMessages().empty());

  const Bytes gz = ReadBytes("welcome.qv.raw2.gz");
  ASSERT_GT(gz.size(), 10u + 16u + 8u);
  EXPECT_EQ(Slice(gz, 0, 10), NamedHeader());
  EXPECT_EQ(Slice(gz, 10, 26), ToBytes(std::string("welcome.qv.raw2") + '\0'));
  EXPECT_EQ(Slice(gz, 26, gz.size() - 8), RawDeflate(picture, 6, Z_DEFAULT_STRATEGY));
  EXPECT_EQ(Slice(gz, gz.size() - 8, gz.size() - 4), Le32(Crc32(picture)));
  EXPECT_EQ(Slice(gz, gz.size() - 4, gz.size()), Hex("00 54 06 00"));

  const Member m = Decode(gz);
  EXPECT_EQ(m.result, Z_STREAM_END);
  EXPECT_EQ(m.left_over, 0u);
  EXPECT_TRUE(m.data == picture);
  EXPECT_EQ(m.name, "welcome.qv.raw2");
  EXPECT_EQ(m.comment, std::nullopt);
  EXPECT_EQ(m.time, kStoredTime);
  EXPECT_EQ(m.xflags, 2);
  EXPECT_EQ(m.os, 3);
}

TEST_F(GzipStep, GzipToolRestoresDataNameAndTime) {
  if (!HaveGzipTool()) GTEST_SKIP() << "no gzip tool on this machine";
  const Bytes picture = Picture();
  WriteBytes("welcome.qv.raw2", picture);
  ASSERT_EQ(gzip_f9("welcome.qv.raw2", "welcome.qv.raw2.gz"), 0);

  ASSERT_EQ(std::system("gzip -dc welcome.qv.raw2.gz > restored"), 0);
  EXPECT_TRUE(ReadBytes("restored") == picture);

  // -N takes the name and the time from the member instead of the file.
  std::filesystem::create_directory("named");
  std::filesystem::copy_file("welcome.qv.raw2.gz", "named/other.gz");
  ASSERT_EQ(std::system("gzip -dN named/other.gz"), 0);
  ASSERT_TRUE(Exists("named/welcome.qv.raw2"));
  EXPECT_TRUE(ReadBytes("named/welcome.qv.raw2") == picture);
  struct stat st {};
  ASSERT_EQ(::stat("named/welcome.qv.raw2", &st), 0);
  EXPECT_EQ(st.st_mtime, static_cast<time_t>(kStoredTime));
}

TEST_F(GzipStep, RepeatedRunsAndFullPathsGiveIdenticalBytes) {
  WriteBytes("welcome.qv.raw2", Picture());
  ASSERT_EQ(gzip_f9("welcome.qv.raw2", "first.gz"), 0);
  const Bytes first = ReadBytes("first.gz");
  ASSERT_EQ(gzip_f9("welcome.qv.raw2", "first.gz"), 0);
  EXPECT_TRUE(ReadBytes("first.gz") == first);

  // Full paths longer than 79 characters: created under exactly that name,
  // the member still storing only the bare file name.
  const std::string folder = Path("an-output-folder-with-a-name-long-enough-to-pass-any-short-path-limit");
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file("welcome.qv.raw2", folder + "/welcome.qv.raw2");
  const std::string destination = folder + "/welcome.qv.raw2.gz";
  ASSERT_GT(destination.size(), 79u);
  ASSERT_EQ(gzip_f9(folder + "/welcome.qv.raw2", destination), 0);
  EXPECT_TRUE(ReadBytes(destination) == first);
  EXPECT_EQ(Decode(ReadBytes(destination)).name, "welcome.qv.raw2");
}

TEST_F(GzipStep, InMemoryMemberIsTheStepsFileByteForByte) {
  const struct {
    const char* name;
    Bytes data;
  } cases[] = {
      {"picture", Picture()},
      {"noise over many blocks", Noise(5 * kBlock + 17)},
      {"empty", Bytes{}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes("welcome.qv.raw2", c.data);
    ASSERT_EQ(gzip_f9("welcome.qv.raw2", "welcome.qv.raw2.gz"), 0);
    Bytes member;
    ASSERT_EQ(in_memory::gzip_f9(Path("welcome.qv.raw2"), c.data, member), 0);
    EXPECT_TRUE(member == ReadBytes("welcome.qv.raw2.gz"));
  }
}

TEST_F(GzipStep, EmptySourceGivesAnEmptyMember) {
  WriteBytes("empty", Bytes{});
  ASSERT_EQ(gzip_f9("empty", "empty.gz"), 0);
  // Header, "empty" and its zero, the empty deflate stream, CRC 0 and length 0.
  EXPECT_EQ(ReadBytes("empty.gz"), Hex("1F8B0808 0A99EB43 0203 656D707479 00 0300 00000000 00000000"));
  const Member m = Decode(ReadBytes("empty.gz"));
  EXPECT_EQ(m.result, Z_STREAM_END);
  EXPECT_TRUE(m.data.empty());
}

TEST_F(GzipStep, UnopenableFilesGiveTheirCodesWithoutALogLine) {
  struct Case {
    const char* what;
    std::string source;
    std::string destination;
    int32_t code;
  };
  WriteBytes("source", Picture(1000));
  std::filesystem::create_directory("a-folder");
  const Case cases[] = {
      {"missing source", "nothing", "out.gz", 1},
      {"no source name", "", "out.gz", 1},
      {"source is a folder", "a-folder", "out.gz", 1},
      {"destination in a missing folder", "source", "no-folder/out.gz", 2},
      {"destination is a folder", "source", "a-folder", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    WriteBytes("out.gz", Bytes{1, 2, 3});  // an earlier run's result
    EXPECT_EQ(gzip_f9(c.source, c.destination), c.code);
    EXPECT_TRUE(LogMessages().empty());
    // The earlier result goes first, so a failed run leaves none behind.
    EXPECT_EQ(Exists("out.gz"), c.destination != "out.gz");
    EXPECT_TRUE(Exists("source"));
  }
  EXPECT_TRUE(std::filesystem::is_empty("a-folder"));
}

TEST_F(GzipStep, ReadOnlySourceIsOnlyReadAndCompresses) {
  const Bytes data = Picture(5 * kBlock);
  WriteBytes("locked", data);
  ASSERT_EQ(::chmod("locked", 0444), 0);

  ASSERT_EQ(gzip_f9("locked", "locked.gz"), 0);
  EXPECT_TRUE(Decode(ReadBytes("locked.gz")).data == data);
  EXPECT_TRUE(ReadBytes("locked") == data);

  // While the component works, its one descriptor on the source is read-only.
  TGzip gzip;
  gzip.SetFileSource("locked");
  gzip.SetFileDestination("again.gz");
  gzip.SetProgressStep(50);
  std::vector<std::vector<int>> seen;
  gzip.SetOnProgress([&](TGzip&) { seen.push_back(AccessModesOn("locked")); });
  ASSERT_EQ(gzip.Compress(), 0);
  ASSERT_FALSE(seen.empty());
  for (const auto& modes : seen) EXPECT_EQ(modes, std::vector<int>{O_RDONLY});
  EXPECT_EQ(ReadBytes("again.gz"), ReadBytes("locked.gz"));
}

class GzipComponent : public test::ScratchDirTest {
 protected:
  // Compresses data (as file "source") with the component's other settings.
  Bytes Compress(TGzip& gzip, const Bytes& data) {
    WriteBytes("source", data);
    gzip.SetFileSource("source");
    gzip.SetFileDestination("source.gz");
    EXPECT_EQ(gzip.Compress(), 0);
    return ReadBytes("source.gz");
  }
};

TEST_F(GzipComponent, DefaultsAreThoseOfTheComponent) {
  TGzip gzip;
  EXPECT_EQ(gzip.GzipHeader(), THeader{THeaderField::filename});
  EXPECT_FALSE(gzip.DeleteSource());
  EXPECT_EQ(gzip.FileSource(), "data.dat");
  EXPECT_EQ(gzip.FileDestination(), "data.dat.gz");
  EXPECT_EQ(gzip.Comments(), "");
  EXPECT_EQ(gzip.CompressionLevel(), 6);
  EXPECT_EQ(gzip.CompressionType(), TCompressionType::Standard);
  EXPECT_FALSE(gzip.WindowOnError());
  EXPECT_EQ(gzip.ProgressStep(), 0);
  EXPECT_FALSE(gzip.OnProgress());
  EXPECT_EQ(gzip.Progress(), 0);

  WriteBytes("data.dat", ToBytes("hello"));
  ASSERT_EQ(gzip.Compress(), 0);
  const Member m = Decode(ReadBytes("data.dat.gz"));
  EXPECT_EQ(m.data, ToBytes("hello"));
  EXPECT_EQ(m.name, "data.dat");
}

TEST_F(GzipComponent, LevelAndStepOutsideTheirRangesAreRangeCheckErrors) {
  TGzip gzip;
  for (int level : {0, 10, -1}) {
    EXPECT_THROW(gzip.SetCompressionLevel(level), FileError) << level;
  }
  for (int step : {-1, 101}) {
    EXPECT_THROW(gzip.SetProgressStep(step), FileError) << step;
  }
  EXPECT_EQ(gzip.CompressionLevel(), 6);
  EXPECT_EQ(gzip.ProgressStep(), 0);
  gzip.SetCompressionLevel(1);
  gzip.SetCompressionLevel(9);
  gzip.SetProgressStep(100);
  EXPECT_EQ(gzip.CompressionLevel(), 9);
  EXPECT_EQ(gzip.ProgressStep(), 100);
  try {
    gzip.SetCompressionLevel(0);
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "Range check error");
  }
}

TEST_F(GzipComponent, HeaderFieldsFollowGzipHeader) {
  struct Case {
    const char* what;
    THeader header;
    std::string comments;
    Bytes fields;  // the bytes between the ten header bytes and the deflate data
    uint8_t flags;
    std::optional<std::string> name;
    std::optional<std::string> comment;
  };
  const Case cases[] = {
      {"name only", {THeaderField::filename}, "abc", ToBytes(std::string("source\0", 7)), 0x08, "source", {}},
      {"neither", {}, "abc", {}, 0x00, {}, {}},
      {"name and comment",
       {THeaderField::filename, THeaderField::comment},
       "abc",
       ToBytes(std::string("source\0abc\0", 11)),
       0x18,
       "source",
       "abc"},
      {"comment only", {THeaderField::comment}, "abc", ToBytes(std::string("abc\0", 4)), 0x10, {}, "abc"},
      {"empty comment", {THeaderField::comment}, "", Bytes{0}, 0x10, {}, ""},
  };
  const Bytes data = Picture(3 * kBlock + 5);
  const Bytes deflated = RawDeflate(data, 6, Z_DEFAULT_STRATEGY);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TGzip gzip;
    gzip.SetGzipHeader(c.header);
    gzip.SetComments(c.comments);
    const Bytes gz = Compress(gzip, data);
    Bytes header = NamedHeader();
    header[3] = c.flags;
    EXPECT_EQ(Slice(gz, 0, 10), header);
    EXPECT_EQ(Slice(gz, 10, 10 + c.fields.size()), c.fields);
    EXPECT_TRUE(Slice(gz, 10 + c.fields.size(), gz.size() - 8) == deflated);
    const Member m = Decode(gz);
    EXPECT_EQ(m.result, Z_STREAM_END);
    EXPECT_TRUE(m.data == data);
    EXPECT_EQ(m.name, c.name);
    EXPECT_EQ(m.comment, c.comment);
  }
}

TEST_F(GzipComponent, DeflateDataFollowsLevelAndType) {
  struct Case {
    int level;
    TCompressionType type;
    int strategy;
  };
  const Case cases[] = {
      {6, TCompressionType::Standard, Z_DEFAULT_STRATEGY}, {6, TCompressionType::Filtered, Z_FILTERED},
      {6, TCompressionType::HuffmanOnly, Z_HUFFMAN_ONLY},  {1, TCompressionType::Standard, Z_DEFAULT_STRATEGY},
      {9, TCompressionType::Filtered, Z_FILTERED},
  };
  const Bytes data = Picture();
  Bytes trailer = Le32(Crc32(data));
  trailer.insert(trailer.end(), {0x00, 0x54, 0x06, 0x00});
  std::vector<Bytes> bodies;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << ", strategy " << c.strategy);
    TGzip gzip;
    gzip.SetCompressionLevel(c.level);
    gzip.SetCompressionType(c.type);
    const Bytes gz = Compress(gzip, data);
    // Header, name and trailer stay as they are, extra flags 02 included.
    EXPECT_EQ(Slice(gz, 0, 10), NamedHeader());
    EXPECT_EQ(Slice(gz, 10, 17), ToBytes(std::string("source\0", 7)));
    EXPECT_EQ(Slice(gz, gz.size() - 8, gz.size()), trailer);
    bodies.push_back(Slice(gz, 17, gz.size() - 8));
    EXPECT_TRUE(bodies.back() == RawDeflate(data, c.level, c.strategy));
    EXPECT_TRUE(Decode(gz).data == data);
  }
  // The deflate data itself differs with the type.
  EXPECT_NE(bodies[0], bodies[1]);
  EXPECT_NE(bodies[0], bodies[2]);
  EXPECT_NE(bodies[1], bodies[2]);
}

TEST_F(GzipComponent, ProgressIsReportedAtItsStep) {
  struct Case {
    const char* what;
    int step;
    size_t size;
    std::vector<int> reported;  // Progress at each OnProgress call
  };
  const Case cases[] = {
      {"step 25, four blocks", 25, 4 * kBlock, {0, 25, 50, 75, 100}},
      {"step 0 reports nothing and restarts at 0", 0, 4 * kBlock, {}},
      {"step 25, five blocks: last value plus 25", 25, 5 * kBlock, {0, 40, 80, 100}},
      {"step 25, a byte over four blocks: after the last block", 25, 4 * kBlock + 1, {0, 50, 100, 100}},
      // 12.5, 37.5, 62.5 and 87.5 go to their even neighbours.
      {"step 10, eight blocks", 10, 8 * kBlock, {0, 12, 25, 38, 50, 62, 75, 88, 100}},
      {"step 100, one partial block", 100, 1000, {0, 100}},
      {"step 25, empty source", 25, 0, {0}},
  };
  TGzip gzip;  // one component throughout: Progress starts at 0 in every run
  std::vector<int> reported;
  gzip.SetOnProgress([&](TGzip& sender) {
    EXPECT_EQ(&sender, &gzip);
    reported.push_back(sender.Progress());
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    reported.clear();
    gzip.SetProgressStep(c.step);
    const Bytes data = Picture(c.size);
    EXPECT_TRUE(Decode(Compress(gzip, data)).data == data);
    EXPECT_EQ(reported, c.reported);
    EXPECT_EQ(gzip.Progress(), c.reported.empty() ? 0 : c.reported.back());
  }
}

TEST_F(GzipComponent, DoProgressIsTheNotificationToOverride) {
  class Counting : public TGzip {
   public:
    int calls = 0;

   protected:
    void DoProgress() override { ++calls; }
  };
  Counting gzip;
  bool handler_called = false;
  gzip.SetOnProgress([&](TGzip&) { handler_called = true; });
  gzip.SetProgressStep(25);
  Compress(gzip, Picture(4 * kBlock));
  EXPECT_EQ(gzip.calls, 5);
  EXPECT_FALSE(handler_called);
}

TEST_F(GzipComponent, DeleteSourceRemovesOnlyACompressedSource) {
  struct Case {
    const char* what;
    std::string destination;
    int result;
    bool source_left;
  };
  const Case cases[] = {
      {"compressed", "out.gz", 0, false},
      {"destination not created", "no-folder/out.gz", 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes("source", Picture(1000));
    TGzip gzip;
    gzip.SetDeleteSource(true);
    gzip.SetFileSource("source");
    gzip.SetFileDestination(c.destination);
    EXPECT_EQ(gzip.Compress(), c.result);
    EXPECT_EQ(Exists("source"), c.source_left);
  }
  EXPECT_EQ(Decode(ReadBytes("out.gz")).data, Picture(1000));
}

TEST_F(GzipComponent, WindowOnErrorShowsCantOpenThroughTheHook) {
  struct Case {
    const char* what;
    bool window_on_error;
    bool hook;
    std::string source;
    std::string destination;
    int result;
    std::vector<std::string> shown;
  };
  WriteBytes("source", Picture(100));
  const Case cases[] = {
      {"source", true, true, "missing", "out.gz", 1, {"Can't open: missing"}},
      {"destination", true, true, "source", "no-folder/out.gz", 2, {"Can't open: no-folder/out.gz"}},
      {"not asked for", false, true, "missing", "out.gz", 1, {}},
      {"no hook", true, false, "missing", "out.gz", 1, {}},
      {"no failure", true, true, "source", "out.gz", 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> shown;
    TGzip gzip;
    gzip.SetWindowOnError(c.window_on_error);
    if (c.hook) gzip.SetErrorBox([&](const std::string& text) { shown.push_back(text); });
    gzip.SetFileSource(c.source);
    gzip.SetFileDestination(c.destination);
    EXPECT_EQ(gzip.Compress(), c.result);
    EXPECT_EQ(shown, c.shown);
  }
}

// Device files stand in for a failing disk. Only the component is used here:
// the step would delete an existing destination first.
TEST_F(GzipComponent, FailedReadsAndFailedClosesGiveTheirCodes) {
  struct Case {
    const char* what;
    std::string source;
    std::string destination;
    int result;
  };
  if (!Exists("/proc/self/mem") || !Exists("/dev/full")) GTEST_SKIP() << "no such device files here";
  WriteBytes("small", Picture(1000));
  WriteBytes("noise", Noise(20 * kBlock));
  const Case cases[] = {
      // Reading process memory at offset 0 fails with an I/O error.
      {"source read fails", "/proc/self/mem", "out.gz", 101},
      // A full disk takes the small member into the stream buffer; the close finds out.
      {"disk full at the close", "small", "/dev/full", 103},
      // Incompressible data fails a block write; the failed close takes precedence.
      {"disk full while writing", "noise", "/dev/full", 103},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int files_before = OpenFileCount();
    TGzip gzip;
    gzip.SetFileSource(c.source);
    gzip.SetFileDestination(c.destination);
    EXPECT_EQ(gzip.Compress(), c.result);
    EXPECT_EQ(OpenFileCount(), files_before);
  }
}

TEST_F(GzipComponent, ThrownFailureReleasesFilesAndStream) {
  WriteBytes("source", Picture(4 * kBlock));
  const int files_before = OpenFileCount();
  TGzip gzip;
  gzip.SetFileSource("source");
  gzip.SetFileDestination("out.gz");
  gzip.SetProgressStep(25);
  int calls = 0;
  gzip.SetOnProgress([&](TGzip&) {
    if (++calls == 2) throw std::runtime_error("stopped");
  });
  EXPECT_THROW(gzip.Compress(), std::runtime_error);
  EXPECT_EQ(OpenFileCount(), files_before);
  // The member stays as far as it got: header and name, no trailer yet.
  const Bytes gz = ReadBytes("out.gz");
  EXPECT_EQ(Slice(gz, 0, 10), NamedHeader());
}

}  // namespace
}  // namespace kws
