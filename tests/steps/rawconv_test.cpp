#include <cstdio>

#include "format/byte_order.h"
#include "steps/steps.h"
#include "support/test_support.h"

namespace kws {
namespace {

using test::BitmapRecipe;
using test::Bytes;
using test::Exists;
using test::ReadBytes;
using test::WriteBytes;

constexpr size_t kRow = 720;
constexpr size_t kRows = 576;
constexpr size_t kPicture = kRow * kRows;  // 414,720

// Pixel (x, row) of a generated body; every row differs from its neighbours.
uint8_t BodyPixel(size_t x, size_t row) { return static_cast<uint8_t>(x * 5 + row * 11 + row / 256); }

Bytes MakeRaw(uint32_t x, uint32_t y, size_t body_bytes) {
  Bytes raw(8 + body_bytes);
  PutBE32(&raw[0], x);
  PutBE32(&raw[4], y);
  for (size_t i = 0; i < body_bytes; ++i) raw[8 + i] = BodyPixel(i % kRow, i / kRow);
  return raw;
}

// The generated body's first 576 rows, last row first.
Bytes TopRowFirst() {
  Bytes out;
  out.reserve(kPicture);
  for (size_t row = kRows; row-- > 0;) {
    for (size_t x = 0; x < kRow; ++x) out.push_back(BodyPixel(x, row));
  }
  return out;
}

class Rawconv : public test::ScratchDirTest {};

TEST_F(Rawconv, RawFileFromTheBitmapComesOutTopRowFirst) {
  const BitmapRecipe recipe;
  WriteBytes("in.bmp", test::MakeBitmap(recipe));
  ASSERT_EQ(convbmp("in.bmp", "welcome.qv.colortable", "welcome.qv.raw"), 0);
  const Bytes raw = ReadBytes("welcome.qv.raw");

  ASSERT_EQ(rawconv("welcome.qv.raw", "welcome.qv.raw2"), 0);
  const Bytes out = ReadBytes("welcome.qv.raw2");
  ASSERT_EQ(out.size(), kPicture);
  // First output row: input bytes 8 + 575 * 720 onwards; last: input bytes 8 to 727.
  EXPECT_EQ(Bytes(out.begin(), out.begin() + kRow), Bytes(raw.begin() + 8 + 575 * kRow, raw.end()));
  EXPECT_EQ(Bytes(out.end() - kRow, out.end()), Bytes(raw.begin() + 8, raw.begin() + 8 + kRow));
  // The bitmap stores its bottom row first, so the output is the picture top row first.
  for (size_t row = 0; row < kRows; ++row) {
    for (size_t x = 0; x < kRow; ++x) {
      ASSERT_EQ(out[row * kRow + x],
                test::GeneratedPixel(recipe, static_cast<uint32_t>(x), static_cast<uint32_t>(kRows - 1 - row)))
          << "row " << row << ", x " << x;
    }
  }
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(Rawconv, DimensionsAndLengthDecideTheResult) {
  struct Case {
    const char* what;
    Bytes input;
    int32_t code;
    std::vector<std::string> lines;
  };
  const std::string size_error = "ERROR: rawconv(), file in.raw, image size error! ";
  const std::string read_error = "ERROR: rawconv(), Msg=Stream read error";
  const Case cases[] = {
      {"exact size", MakeRaw(720, 576, kPicture), 0, {}},
      {"trailing bytes", MakeRaw(720, 576, kPicture + 1000), 0, {}},
      {"640 x 480, full-size body", MakeRaw(640, 480, kPicture), -1, {size_error + "x=640, y=480"}},
      {"swapped dimensions", MakeRaw(576, 720, kPicture), -1, {size_error + "x=576, y=720"}},
      {"all-ones dimensions",
       MakeRaw(0xFFFFFFFF, 0xFFFFFFFF, kPicture),
       -1,
       {size_error + "x=4294967295, y=4294967295"}},
      {"640 x 480, short body", MakeRaw(640, 480, 640 * 480), -99, {read_error}},
      {"one byte short", MakeRaw(720, 576, kPicture - 1), -99, {read_error}},
      {"shorter than the dimensions", Bytes{0, 0, 2, 0xD0, 0}, -99, {read_error}},
  };
  const Bytes earlier_output(kPicture + 7, 0xAB);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    WriteBytes("in.raw", c.input);
    WriteBytes("out.raw2", earlier_output);
    EXPECT_EQ(rawconv("in.raw", "out.raw2"), c.code);
    EXPECT_EQ(LogMessages(), c.lines);
    // Success replaces an earlier output; every failure here strikes before
    // the output is opened and leaves it as it was.
    EXPECT_EQ(ReadBytes("out.raw2"), c.code == 0 ? TopRowFirst() : earlier_output);
  }
}

TEST_F(Rawconv, MissingInputLeavesEarlierOutputUntouched) {
  WriteBytes("welcome.qv.raw2", Bytes{1, 2, 3});
  EXPECT_EQ(rawconv("welcome.qv.raw", "welcome.qv.raw2"), -2);
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"ERROR: rawconv(), file welcome.qv.raw do not exist!"});
  EXPECT_EQ(ReadBytes("welcome.qv.raw2"), (Bytes{1, 2, 3}));
}

TEST_F(Rawconv, OutputThatCannotBeCreatedIsCaught) {
  WriteBytes("in.raw", MakeRaw(720, 576, kPicture));
  EXPECT_EQ(rawconv("in.raw", "no-folder/out.raw2"), -99);
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"ERROR: rawconv(), Msg=Cannot create file no-folder/out.raw2"});
}

}  // namespace
}  // namespace kws
