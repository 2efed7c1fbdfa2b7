#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>

#include "fileio/file.h"
#include "fit/bitmap_file.h"
#include "format/byte_order.h"
#include "steps/steps.h"
#include "support/test_support.h"

namespace kws {
namespace {

using test::BitmapRecipe;
using test::Bytes;
using test::Exists;
using test::MakeBitmap;
using test::ReadBytes;
using test::WriteBytes;

class Convbmp : public test::ScratchDirTest {
 protected:
  int32_t Convert(const BitmapRecipe& recipe) {
    WriteBytes("in.bmp", MakeBitmap(recipe));
    return convbmp("in.bmp", "welcome.qv.colortable", "welcome.qv.raw");
  }

  // The colour table and raw file a correct reading of the generated bitmap gives.
  static Bytes ExpectedColorTable(const BitmapRecipe& recipe, uint32_t count) {
    Bytes ct;
    for (uint32_t i = 0; i < count; ++i) {
      const Rgb c = test::GeneratedColor(recipe, i);
      ct.insert(ct.end(), {c.r, c.g, c.b});
    }
    return ct;
  }
  static Bytes ExpectedRaw(const BitmapRecipe& recipe) {
    Bytes raw = test::Hex("000002D0 00000240");
    for (uint32_t row = 0; row < 576; ++row) {
      for (uint32_t x = 0; x < 720; ++x) raw.push_back(test::GeneratedPixel(recipe, x, row));
    }
    return raw;
  }
};

TEST_F(Convbmp, ValidBitmapGivesColorTableAndRaw) {
  const BitmapRecipe recipe;
  ASSERT_EQ(Convert(recipe), 0);
  const Bytes ct = ReadBytes("welcome.qv.colortable");
  const Bytes raw = ReadBytes("welcome.qv.raw");
  EXPECT_EQ(ct.size(), 768u);
  EXPECT_EQ(ct, ExpectedColorTable(recipe, 256));
  ASSERT_EQ(raw.size(), 414728u);
  EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 8), test::Hex("00 00 02 D0 00 00 02 40"));
  EXPECT_EQ(raw, ExpectedRaw(recipe));
  EXPECT_TRUE(LogMessages().empty());
}

TEST_F(Convbmp, PaletteEntriesAreStoredBlueGreenRed) {
  Bytes bmp = MakeBitmap();
  bmp[54] = 0x10;  // blue
  bmp[55] = 0x20;  // green
  bmp[56] = 0x30;  // red
  bmp[57] = 0x00;
  WriteBytes("in.bmp", bmp);
  ASSERT_EQ(convbmp("in.bmp", "ct", "raw"), 0);
  const Bytes ct = ReadBytes("ct");
  EXPECT_EQ(Bytes(ct.begin(), ct.begin() + 3), test::Hex("30 20 10"));
}

TEST_F(Convbmp, ColorsUsedSetsTableSizeAndWhereRowsStart) {
  BitmapRecipe recipe;
  recipe.colors_used = 16;
  recipe.palette_entries = 16;
  ASSERT_EQ(Convert(recipe), 0);
  EXPECT_EQ(ReadBytes("welcome.qv.colortable"), ExpectedColorTable(recipe, 16));
  EXPECT_EQ(ReadBytes("welcome.qv.raw"), ExpectedRaw(recipe));
}

TEST_F(Convbmp, LargerInfoHeadersAndPixelGapsAreReadFromTheirPlaces) {
  struct Case {
    const char* what;
    uint32_t info_size;
    uint32_t gap;
  };
  const Case cases[] = {{"108-byte header", 108, 0},
                        {"124-byte header", 124, 0},
                        {"gap before pixels", 40, 200},
                        {"124-byte header and gap", 124, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BitmapRecipe recipe;
    recipe.info_size = c.info_size;
    recipe.gap_before_pixels = c.gap;
    recipe.seed = 9;
    ASSERT_EQ(Convert(recipe), 0);
    EXPECT_EQ(ReadBytes("welcome.qv.colortable"), ExpectedColorTable(recipe, 256));
    EXPECT_EQ(ReadBytes("welcome.qv.raw"), ExpectedRaw(recipe));
  }
}

// Rows at the first colour entry would show the entries as pixels: every
// viewer shows that picture, so it is refused rather than read otherwise.
TEST_F(Convbmp, PixelOffsetPointingIntoThePaletteIsRefused) {
  Bytes bmp = MakeBitmap();
  PutLE32(&bmp[10], 54);  // says the rows start where the palette does
  WriteBytes("in.bmp", bmp);
  ASSERT_EQ(convbmp("in.bmp", "ct", "raw"), -99);
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"ERROR: convbmp(), Msg=Bitmap would be read as another picture: "
                                                    "its 256 colour entries run past the start of its pixel data at "
                                                    "byte 54"});
  EXPECT_FALSE(Exists("raw"));
}

TEST_F(Convbmp, RejectionsReportTheFirstFaultWithItsLine) {
  struct Case {
    const char* what;
    BitmapRecipe recipe;
    int32_t code;
    std::string line;
  };
  auto recipe = [](auto change) {
    BitmapRecipe s;
    change(s);
    return s;
  };
  const Case cases[] = {
      {"24-bit", recipe([](BitmapRecipe& s) { s.bit_count = 24; }), -11, "ERROR: bitdepth > 8 not supported!"},
      {"24-bit and wrong size", recipe([](BitmapRecipe& s) {
         s.bit_count = 24;
         s.width = 640;
       }),
       -11, "ERROR: bitdepth > 8 not supported!"},
      {"run-length encoded", recipe([](BitmapRecipe& s) { s.compression = 1; }), -12,
       "ERROR: compression not supported!"},
      {"RLE and wrong size", recipe([](BitmapRecipe& s) {
         s.compression = 1;
         s.height = 10;
       }),
       -12, "ERROR: compression not supported!"},
      {"640 x 480", recipe([](BitmapRecipe& s) {
         s.width = 640;
         s.height = 480;
       }),
       -13, "ERROR: Bitmap must have 720x576 pixels! cx=640, cy=480"},
      {"top-down", recipe([](BitmapRecipe& s) { s.height = -576; }), -13,
       "ERROR: Bitmap must have 720x576 pixels! cx=720, cy=-576"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    WriteBytes("welcome.qv.raw", Bytes{1, 2, 3});  // an earlier run's output stays
    EXPECT_EQ(Convert(c.recipe), c.code);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{c.line});
    EXPECT_EQ(ReadBytes("welcome.qv.raw"), (Bytes{1, 2, 3}));
    EXPECT_FALSE(Exists("welcome.qv.colortable"));
  }
}

// The picture read for the import is what convbmp makes of the same file:
// its colour table, and its rows once turned bottom row first.
TEST_F(Convbmp, ReadConvertibleBitmapTakesWhatConvbmpTakes) {
  const struct {
    const char* name;
    BitmapRecipe bitmap;
    bool taken;
  } cases[] = {
      {"256 colours", {}, true},
      {"16 colours used", {.colors_used = 16, .palette_entries = 16}, true},
      {"124-byte header and a gap", {.info_size = 124, .gap_before_pixels = 10}, true},
      {"24 bits", {.bit_count = 24}, false},
      {"run-length encoded", {.compression = 1}, false},
      {"640 x 480", {.width = 640, .height = 480}, false},
      {"top-down", {.height = -576}, false},
      {"4 bits", {.bit_count = 4, .palette_entries = 16}, false},
      {"rows missing", {.pixel_rows = 575}, false},
      {"300 colours used", {.colors_used = 300, .palette_entries = 300}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t result = Convert(c.bitmap);
    const std::optional<Picture8> picture = ReadConvertibleBitmap("in.bmp");
    ASSERT_EQ(picture.has_value(), c.taken);
    if (!c.taken) continue;
    ASSERT_EQ(result, 0);
    Bytes ct;
    for (const Rgb& e : picture->palette) ct.insert(ct.end(), {e.r, e.g, e.b});
    EXPECT_EQ(ct, ReadBytes("welcome.qv.colortable"));
    Bytes raw = test::Hex("000002D0 00000240");
    for (int y = 575; y >= 0; --y) {
      const auto row = picture->pixels.begin() + y * 720;
      raw.insert(raw.end(), row, row + 720);
    }
    EXPECT_EQ(raw, ReadBytes("welcome.qv.raw"));
  }
  EXPECT_FALSE(ReadConvertibleBitmap("missing.bmp").has_value());
}

// What the window and the command line write (a sample, a test card, an
// extracted picture) is read back as it was, and an earlier file under that
// name is replaced; a folder that is not there is a FileError, not a crash.
TEST_F(Convbmp, WriteBitmap8WritesWhatItReadsBack) {
  WriteBytes("in.bmp", MakeBitmap({.seed = 4}));
  const std::optional<Picture8> picture = ReadConvertibleBitmap("in.bmp");
  ASSERT_TRUE(picture.has_value());
  WriteBytes("out.bmp", Bytes{1, 2, 3});
  WriteBitmap8("out.bmp", *picture);
  const std::optional<Picture8> back = ReadConvertibleBitmap("out.bmp");
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->palette, picture->palette);
  EXPECT_EQ(back->pixels, picture->pixels);
  EXPECT_EQ(ReadBytes("out.bmp"), EncodeBitmap8(*picture));
  EXPECT_EQ(convbmp("out.bmp", "ct", "raw"), 0);
  EXPECT_THROW(WriteBitmap8("no-such-folder/out.bmp", *picture), FileError);
}

TEST_F(Convbmp, MissingBitmapIsMinusTwo) {
  EXPECT_EQ(convbmp("nothing.bmp", "ct", "raw"), -2);
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"ERROR: convbmp(), file nothing.bmp do not exist!"});
  EXPECT_FALSE(Exists("ct"));
}

TEST_F(Convbmp, FailuresAreCaughtWithTheirMessages) {
  struct Case {
    const char* what;
    Bytes bitmap;
    std::string message;
    bool colortable_written;
  };
  BitmapRecipe many;
  many.colors_used = 300;
  BitmapRecipe huge_colors;
  huge_colors.colors_used = 0x80000000u;
  BitmapRecipe huge_compression;
  huge_compression.compression = 0x80000000u;
  BitmapRecipe four_bit;
  four_bit.bit_count = 4;
  four_bit.palette_entries = 16;
  four_bit.row_bytes = 360;
  const Case cases[] = {
      {"colours used 300", MakeBitmap(many), "Range check error", false},
      {"colours used 2^31", MakeBitmap(huge_colors), "Range check error", false},
      {"compression 2^31", MakeBitmap(huge_compression), "Range check error", false},
      {"shorter than 54 bytes", Bytes(53, 0), "Stream read error", false},
      {"4-bit rows run out", MakeBitmap(four_bit), "Stream read error", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    std::remove("ct");
    WriteBytes("in.bmp", c.bitmap);
    EXPECT_EQ(convbmp("in.bmp", "ct", "raw"), -99);
    EXPECT_EQ(LogMessages(), std::vector<std::string>{"ERROR: convbmp(), Msg=" + c.message});
    EXPECT_EQ(Exists("ct"), c.colortable_written);
  }
  // The 4-bit case leaves the dimensions and the rows that were there.
  EXPECT_EQ(ReadBytes("ct").size(), 48u);
  const size_t raw_size = ReadBytes("raw").size();
  EXPECT_GT(raw_size, 8u);
  EXPECT_LT(raw_size, 414728u);
}

// A legal bitmap whose rows, read in order, would give another picture than
// the one every viewer shows is refused with its reason before any output is
// touched; where the header's offset is impossible the reading in order
// stands and converts as before.
TEST_F(Convbmp, AnotherPictureIsRefusedBeforeAnyOutputIsTouched) {
  const auto with = [](BitmapRecipe recipe, const std::function<void(Bytes&)>& change) {
    Bytes file = MakeBitmap(recipe);
    change(file);
    return file;
  };
  const auto trailing = [](size_t count) { return [count](Bytes& b) { b.resize(b.size() + count, 0x5A); }; };
  const auto offset = [](uint32_t at) { return [at](Bytes& b) { PutLE32(&b[bmp::kPixelOffset], at); }; };
  const struct {
    const char* what;
    Bytes bitmap;
    std::string refusal;  // empty: converts
  } cases[] = {
      {"4 bits with trailing bytes", with({.bit_count = 4, .palette_entries = 16, .row_bytes = 360}, trailing(207360)),
       "it has 4 bits per pixel, and its rows would be taken as 8-bit rows"},
      {"1 bit with trailing bytes", with({.bit_count = 1, .palette_entries = 2, .row_bytes = 92}, trailing(414720)),
       "it has 1 bit per pixel, and its rows would be taken as 8-bit rows"},
      {"16-entry palette, colours used 0, pixel data behind it, trailing bytes",
       with({.palette_entries = 16}, trailing(960)),
       "its 256 colour entries run past the start of its pixel data at byte 118"},
      {"pixel offset 0", with({}, offset(0)), ""},
      {"pixel offset past the end", with({}, offset(0x7FFFFFFF)), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove("test.log");
    WriteBytes("in.bmp", c.bitmap);
    WriteBytes("ct", Bytes{7});
    WriteBytes("raw", Bytes{8});
    const int32_t result = convbmp("in.bmp", "ct", "raw");
    if (c.refusal.empty()) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(ReadBytes("raw").size(), 414728u);
      continue;
    }
    EXPECT_EQ(result, -99);
    EXPECT_EQ(LogMessages(),
              std::vector<std::string>{"ERROR: convbmp(), Msg=Bitmap would be read as another picture: " + c.refusal});
    EXPECT_EQ(ReadBytes("ct"), Bytes{7});
    EXPECT_EQ(ReadBytes("raw"), Bytes{8});
    EXPECT_FALSE(ReadConvertibleBitmap("in.bmp").has_value());
  }
}

TEST_F(Convbmp, CannotCreateOutputIsCaught) {
  WriteBytes("in.bmp", MakeBitmap());
  EXPECT_EQ(convbmp("in.bmp", "no-folder/ct", "raw"), -99);
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"ERROR: convbmp(), Msg=Cannot create file no-folder/ct"});
}

TEST_F(Convbmp, CoreHeaderBitmapNeverConverts) {
  // The 12-byte core header: 16-bit width, height, planes and bit count,
  // then 3-byte colour entries from offset 26.
  Bytes bmp(26 + 3 * 256 + 720 * 576, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutLE32(&bmp[10], 26 + 3 * 256);
  PutLE32(&bmp[14], 12);
  PutLE16(&bmp[18], 720);
  PutLE16(&bmp[20], 576);
  PutLE16(&bmp[22], 1);
  PutLE16(&bmp[24], 8);
  for (int i = 0; i < 256; ++i) bmp[26 + 3 * i] = static_cast<uint8_t>(i);
  WriteBytes("core.bmp", bmp);
  WriteBytes("ct", Bytes{9});
  EXPECT_NE(convbmp("core.bmp", "ct", "raw"), 0);
  EXPECT_EQ(ReadBytes("ct"), Bytes{9});  // rejected before any output is touched
  EXPECT_FALSE(Exists("raw"));
}

TEST_F(Convbmp, AnySignatureIsAccepted) {
  Bytes bmp = MakeBitmap();
  bmp[0] = 'X';
  bmp[1] = 'Y';
  WriteBytes("in.bmp", bmp);
  EXPECT_EQ(convbmp("in.bmp", "ct", "raw"), 0);
}

}  // namespace
}  // namespace kws
