// The bitmap reading over bytes: the one statement of the rules a bitmap
// must keep, and where header, palette and rows are read from.
#include "format/bitmap.h"

#include <functional>
#include <optional>
#include <string>

#include "fileio/file.h"
#include "format/byte_order.h"
#include "support/test_support.h"

namespace kws {
namespace {

using test::BitmapRecipe;
using test::Bytes;
using test::MakeBitmap;

BitmapHeader HeaderOf(const Bytes& bitmap) {
  return ParseBitmapHeader(std::span<const uint8_t, bmp::kHeadersSize>(bitmap.data(), bmp::kHeadersSize));
}

// The rows as a generated bitmap stores them, bottom row first.
Bytes StoredRows(const BitmapRecipe& recipe, uint32_t rows) {
  Bytes stored;
  for (uint32_t row = 0; row < rows; ++row)
    for (uint32_t x = 0; x < 720; ++x) stored.push_back(test::GeneratedPixel(recipe, x, row));
  return stored;
}

// The message of the FileError a reading throws, or nothing.
std::optional<std::string> ReadingFault(const Bytes& bitmap) {
  try {
    ReadStoredBitmap(bitmap);
  } catch (const FileError& e) {
    return e.what();
  }
  return std::nullopt;
}

TEST(BitmapRules, TheFirstRuleBrokenIsReportedInItsOrder) {
  const struct {
    const char* what;
    BitmapRecipe recipe;
    BitmapRule broken;
    bool convbmp_refuses;
  } cases[] = {
      {"720 x 576, 8 bits", {}, BitmapRule::kKept, false},
      {"24 bits", {.bit_count = 24}, BitmapRule::kAtMost8Bits, true},
      {"24 bits, run-length encoded and 640 wide",
       {.width = 640, .bit_count = 24, .compression = 1},
       BitmapRule::kAtMost8Bits,
       true},
      {"run-length encoded and 10 high", {.height = 10, .compression = 1}, BitmapRule::kUncompressed, true},
      {"640 x 480", {.width = 640, .height = 480}, BitmapRule::kIs720x576, true},
      {"top-down", {.height = -576}, BitmapRule::kIs720x576, true},
      {"4 bits and 640 wide", {.width = 640, .bit_count = 4}, BitmapRule::kIs720x576, true},
      {"4 bits", {.bit_count = 4, .palette_entries = 16}, BitmapRule::kExactly8Bits, false},
      {"1 bit", {.bit_count = 1, .palette_entries = 2}, BitmapRule::kExactly8Bits, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const BitmapRule broken = FirstBrokenRule(HeaderOf(MakeBitmap(c.recipe)));
    EXPECT_EQ(broken, c.broken);
    EXPECT_EQ(ConvbmpRefuses(broken), c.convbmp_refuses);
  }
}

TEST(BitmapReading, PaletteAndRowsComeFromWhereTheHeaderPutsThem) {
  const struct {
    const char* what;
    BitmapRecipe recipe;
    std::function<void(Bytes&)> change;
    uint32_t colors;
    uint32_t whole_rows;
  } cases[] = {
      {"256 colours", {}, {}, 256, 576},
      {"16 colours used", {.colors_used = 16, .palette_entries = 16}, {}, 16, 576},
      {"124-byte header and a gap", {.info_size = 124, .gap_before_pixels = 10}, {}, 256, 576},
      {"pixel offset into the palette", {}, [](Bytes& b) { PutLE32(&b[bmp::kPixelOffset], 54); }, 256, 576},
      {"the last row in part", {}, [](Bytes& b) { b.resize(b.size() - 300); }, 256, 575},
      {"extra bytes behind the rows", {}, [](Bytes& b) { b.resize(b.size() + 1000, 0xCC); }, 256, 576},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = MakeBitmap(c.recipe);
    if (c.change) c.change(file);
    const StoredBitmap bitmap = ReadStoredBitmap(file);
    EXPECT_EQ(bitmap.broken, BitmapRule::kKept);
    ASSERT_EQ(bitmap.Colors(), c.colors);
    for (uint32_t i = 0; i < c.colors; ++i) ASSERT_EQ(bitmap.palette[i], test::GeneratedColor(c.recipe, i)) << i;
    EXPECT_TRUE(bitmap.rows == StoredRows(c.recipe, c.whole_rows));
    EXPECT_EQ(bitmap.Complete(), c.whole_rows == 576);
  }
}

TEST(BitmapReading, ShortHeadersAndPalettesAndTooManyColoursAreRefused) {
  Bytes palette_cut = MakeBitmap();
  palette_cut.resize(54 + 4 * 100 + 2);
  Bytes many_colours_cut = MakeBitmap({.colors_used = 300, .palette_entries = 100});
  many_colours_cut.resize(54 + 4 * 100);
  Bytes refused_header = MakeBitmap({.bit_count = 24});
  refused_header.resize(54);
  const struct {
    const char* what;
    Bytes bitmap;
    std::optional<std::string> fault;
  } cases[] = {
      {"53 bytes", Bytes(53, 0), "Stream read error"},
      {"palette cut within an entry", palette_cut, "Stream read error"},
      {"300 colours, all stored", MakeBitmap({.colors_used = 300, .palette_entries = 300}), "Range check error"},
      {"300 colours, the entries run out first", many_colours_cut, "Stream read error"},
      {"colours used 2^31", MakeBitmap({.colors_used = 0x80000000u}), "Range check error"},
      {"a refused header reads nothing more", refused_header, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadingFault(c.bitmap), c.fault);
  }
}

// A complete bitmap whose rows convbmp would take for another picture than
// the one viewers show is marked with the reason; where the header's offset is
// impossible, or the rows run out, the sequential reading stands unmarked.
TEST(BitmapReading, AnotherPictureThanViewersShowIsMarked) {
  const auto offset = [](uint32_t at) { return [at](Bytes& b) { PutLE32(&b[bmp::kPixelOffset], at); }; };
  const auto trailing = [](size_t count) { return [count](Bytes& b) { b.resize(b.size() + count, 0x5A); }; };
  const struct {
    const char* what;
    BitmapRecipe recipe;
    std::function<void(Bytes&)> change;
    std::string reason;  // empty: not marked
  } cases[] = {
      {"256 colours", {}, {}, ""},
      {"16 colours used", {.colors_used = 16, .palette_entries = 16}, {}, ""},
      {"124-byte header and a gap", {.info_size = 124, .gap_before_pixels = 10}, {}, ""},
      {"4 bits, enough bytes for 8-bit rows",
       {.bit_count = 4, .palette_entries = 16},
       {},
       "it has 4 bits per pixel, and its rows would be taken as 8-bit rows"},
      {"1 bit, trailing bytes",
       {.bit_count = 1, .palette_entries = 2, .row_bytes = 96},
       trailing(414720),
       "it has 1 bit per pixel, and its rows would be taken as 8-bit rows"},
      {"16 entries stored, colours used 0, pixel data right behind them",
       {.palette_entries = 16},
       trailing(960),
       "its 256 colour entries run past the start of its pixel data at byte 118"},
      {"pixel offset at the first colour entry",
       {},
       offset(54),
       "its 256 colour entries run past the start of its pixel data at byte 54"},
      {"16-byte info header: viewers take the entries from byte 30",
       {.info_size = 16},
       {},
       "at column 0, row 575 it differs from the picture that viewers show"},
      {"pixel offset 0, inside the headers", {}, offset(0), ""},
      {"pixel offset past the end", {}, offset(0x7FFFFFFF), ""},
      {"4 bits, rows run out", {.bit_count = 4, .palette_entries = 16, .row_bytes = 360}, {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = MakeBitmap(c.recipe);
    if (c.change) c.change(file);
    const StoredBitmap bitmap = ReadStoredBitmap(file);
    EXPECT_EQ(bitmap.another_picture, c.reason.empty() ? "" : "Bitmap would be read as another picture: " + c.reason);
  }
}

// What a reading gives is what the picture was: palette and rows, top row
// first, and the colour table as convbmp writes it.
TEST(BitmapReading, AnEncodedPictureReadsBackAsItWas) {
  Picture8 picture;
  picture.palette = {{1, 2, 3}, {200, 100, 50}, {9, 9, 9}};
  picture.pixels.resize(kPictureBytes);
  for (size_t i = 0; i < kPictureBytes; ++i) picture.pixels[i] = static_cast<uint8_t>((i / 720 + i % 7) % 3);
  const StoredBitmap bitmap = ReadStoredBitmap(EncodeBitmap8(picture));
  ASSERT_TRUE(bitmap.Complete());
  const Picture8 read = PictureOf(bitmap);
  EXPECT_EQ(read.palette, picture.palette);
  EXPECT_TRUE(read.pixels == picture.pixels);
  EXPECT_EQ(ColorTable(bitmap), test::Hex("010203 C86432 090909"));
}

}  // namespace
}  // namespace kws
