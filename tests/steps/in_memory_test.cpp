// Each step's in-memory form against the step on files, for inputs that
// pass and inputs that fail: the same result code, the same log lines, and
// the bytes of the files the step writes.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "format/bitmap.h"
#include "format/pipeline_files.h"
#include "format/raw_picture.h"
#include "format/receiver_models.h"
#include "steps/steps.h"
#include "support/reference_checks.h"
#include "support/test_support.h"

namespace kws {
namespace {

using test::BitmapRecipe;
using test::Bytes;
using test::ReadBytes;
using test::WriteBytes;

struct Outcome {
  int32_t code = 0;
  std::vector<std::string> log;
  Bytes bytes;  // what the step's output files hold, joined; only for code 0
};

struct Case {
  std::string what;
  std::function<int32_t()> on_files;
  std::function<Bytes()> files_written;
  std::function<int32_t(Bytes&)> in_memory;
};

class InMemory : public test::ScratchDirTest {
 protected:
  void ExpectSame(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      const Outcome files = Run([&](Bytes& out) {
        const int32_t code = c.on_files();
        if (code == 0) out = c.files_written();
        return code;
      });
      const Outcome memory = Run(c.in_memory);
      EXPECT_EQ(memory.code, files.code);
      EXPECT_EQ(memory.log, files.log);
      EXPECT_TRUE(memory.bytes == files.bytes);
    }
  }

 private:
  Outcome Run(const std::function<int32_t(Bytes&)>& step) {
    std::filesystem::remove("test.log");
    Outcome outcome;
    outcome.code = step(outcome.bytes);
    outcome.log = LogMessages();
    if (outcome.code != 0) outcome.bytes.clear();
    return outcome;
  }
};

TEST_F(InMemory, ConvbmpReadsWhatItsFilesWouldHold) {
  const auto converted = [](const std::string& bitmap) {
    return Case{bitmap, [=] { return convbmp(bitmap, "ct", "raw"); },
                [] { return test::Concat(ReadBytes("ct"), ReadBytes("raw")); },
                [=](Bytes& out) {
                  StoredBitmap read;
                  const int32_t code = in_memory::convbmp(bitmap, "ct", "raw", read);
                  out = test::Concat(ColorTable(read), RawPicture(RawDimensionsOf(read.header), read.rows));
                  return code;
                }};
  };
  const struct {
    const char* name;
    Bytes bitmap;
  } bitmaps[] = {
      {"256 colours", test::MakeBitmap()},
      {"16 colours used", test::MakeBitmap({.colors_used = 16, .palette_entries = 16})},
      {"124-byte header and a gap", test::MakeBitmap({.info_size = 124, .gap_before_pixels = 10})},
      {"4 bits, full rows", test::MakeBitmap({.bit_count = 4, .palette_entries = 16})},
      {"24 bits", test::MakeBitmap({.bit_count = 24})},
      {"run-length encoded", test::MakeBitmap({.compression = 1})},
      {"640 x 480", test::MakeBitmap({.width = 640, .height = 480})},
      {"300 colours used", test::MakeBitmap({.colors_used = 300, .palette_entries = 300})},
      {"rows missing", test::MakeBitmap({.pixel_rows = 575})},
      {"shorter than its header", Bytes(53, 0)},
  };
  std::vector<Case> cases;
  for (const auto& b : bitmaps) {
    WriteBytes(b.name, b.bitmap);
    cases.push_back(converted(b.name));
  }
  cases.push_back(converted("missing.bmp"));
  cases.push_back({"picture is an output", [] { return convbmp("in.bmp", "in.bmp", "raw"); }, [] { return Bytes{}; },
                   [](Bytes&) {
                     StoredBitmap read;
                     return in_memory::convbmp("in.bmp", "in.bmp", "raw", read);
                   }});
  WriteBytes("in.bmp", test::MakeBitmap());
  ExpectSame(cases);
}

TEST_F(InMemory, EveryLaterStepGivesTheBytesOfItsFile) {
  ASSERT_NO_FATAL_FAILURE(test::MakeChainFiles());
  const Bytes raw = ReadBytes("raw");
  const RawDimensions dims = RawDimensionsOf(std::span<const uint8_t, 8>(raw.data(), 8));
  const std::span<const uint8_t> rows = std::span<const uint8_t>(raw).subspan(8);
  Bytes wrong_dims = raw;
  wrong_dims[3] = 0x01;  // width 0x01 instead of 0xD0 in its last byte
  WriteBytes("raw.wrong", wrong_dims);
  WriteBytes("raw.short", Bytes(raw.begin(), raw.end() - 1));
  WriteBytes("tmp.big", test::Pattern(0x2BFF1));

  std::vector<Case> cases = {
      {"rawconv", [] { return rawconv("raw", "out"); }, [] { return ReadBytes("out"); },
       [&](Bytes& out) { return in_memory::rawconv("raw", dims, rows, out); }},
      {"rawconv, wrong dimensions", [] { return rawconv("raw.wrong", "out"); }, [] { return ReadBytes("out"); },
       [&](Bytes& out) {
         return in_memory::rawconv("raw.wrong", RawDimensionsOf(std::span<const uint8_t, 8>(wrong_dims.data(), 8)),
                                   rows, out);
       }},
      {"rawconv, a byte short", [] { return rawconv("raw.short", "out"); }, [] { return ReadBytes("out"); },
       [&](Bytes& out) { return in_memory::rawconv("raw.short", dims, rows.first(rows.size() - 1), out); }},
      {"gzip_f9", [] { return gzip_f9("raw2", "out"); }, [] { return ReadBytes("out"); },
       [](Bytes& out) { return in_memory::gzip_f9("raw2", ReadBytes("raw2"), out); }},
      {"dd", [] { return dd("ct", "raw2.gz", "out"); }, [] { return ReadBytes("out"); },
       [](Bytes& out) { return in_memory::dd(ReadBytes("ct"), ReadBytes("raw2.gz"), out); }},
      {"addheader", [] { return addheader("tmp", "out.tmp2", "out"); }, [] { return ReadBytes("out"); },
       [](Bytes& out) { return in_memory::addheader(ReadBytes("tmp"), out); }},
      {"addheader, too big", [] { return addheader("tmp.big", "out.tmp2", "out"); }, [] { return ReadBytes("out"); },
       [](Bytes& out) { return in_memory::addheader(ReadBytes("tmp.big"), out); }},
      {"mkserialimg", [] { return mkserialimg("usb", "out", "kestro400"); }, [] { return ReadBytes("out"); },
       [](Bytes& out) {
         const int32_t code = in_memory::mkserialimg(ReadBytes("usb"), "out.memory", "kestro400", out);
         EXPECT_EQ(ReadBytes("out.memory"), out);  // the file it leaves
         return code;
       }},
      {"mkserialimg, name too long", [] { return mkserialimg("usb", "out", std::string(31, 'k')); },
       [] { return ReadBytes("out"); },
       [](Bytes& out) { return in_memory::mkserialimg(ReadBytes("usb"), "out", std::string(31, 'k'), out); }},
      {"mkserialimg, output cannot be created", [] { return mkserialimg("usb", "no-folder/out", "kestro400"); },
       [] { return Bytes{}; },
       [](Bytes& out) { return in_memory::mkserialimg(ReadBytes("usb"), "no-folder/out", "kestro400", out); }},
  };
  for (const UsbModel& model : kUsbModels) {
    const std::string step = model.step;
    const std::string big = "big." + step;  // a byte more than the model's partition
    WriteBytes(big, test::Pattern(model.partition_size + 1));
    cases.push_back(
        {"appendbin for " + step, [&] { return appendbin(model.partition_size, "welcome", "out"); },
         [] { return ReadBytes("out"); },
         [&](Bytes& out) { return in_memory::appendbin(model.partition_size, ReadBytes("welcome"), out); }});
    cases.push_back({"appendbin for " + step + ", too big",
                     [&, big] { return appendbin(model.partition_size, big, "out"); }, [] { return ReadBytes("out"); },
                     [&, big](Bytes& out) { return in_memory::appendbin(model.partition_size, ReadBytes(big), out); }});
    cases.push_back({step, [&] { return mkusbimg(model, "welcome", "out"); }, [] { return ReadBytes("out"); },
                     [&](Bytes& out) { return in_memory::mkusbimg(model, ReadBytes("welcome"), out); }});
    cases.push_back({step + ", too big", [&, big] { return mkusbimg(model, big, "out"); },
                     [] { return ReadBytes("out"); },
                     [&, big](Bytes& out) { return in_memory::mkusbimg(model, ReadBytes(big), out); }});
  }
  ExpectSame(cases);
}

// An output keeps its memory from call to call and never holds bytes of an
// earlier, longer result.
TEST_F(InMemory, ReusedOutputsHoldOnlyTheNewBytes) {
  ASSERT_NO_FATAL_FAILURE(test::MakeChainFiles({.seed = 3}));
  const Bytes welcome = ReadBytes("welcome");
  Bytes out(kUsbModel200.partition_size + 10000, 0xAB);
  ASSERT_EQ(in_memory::appendbin(kUsbModel300.partition_size, welcome, out), 0);
  EXPECT_EQ(out.size(), kUsbModel300.partition_size);
  ASSERT_EQ(appendbin(kUsbModel300.partition_size, "welcome", "part300"), 0);
  EXPECT_TRUE(out == ReadBytes("part300"));
  ASSERT_EQ(in_memory::gzip_f9("raw2", ReadBytes("raw2"), out), 0);
  EXPECT_TRUE(out == ReadBytes("raw2.gz"));
}

}  // namespace
}  // namespace kws
