// Shared helpers for the tests: a scratch folder per test, byte files, the
// messages the activity log received, and generated bitmaps.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "format/bitmap.h"

namespace kws::test {

using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ToBytes(std::string_view text);
// "8E AE B5 41" -> bytes; spaces are ignored.
Bytes Hex(std::string_view hex);
bool Exists(const std::string& path);
// The names in a folder, sorted; and each with its file's bytes.
std::vector<std::string> FilesIn(const std::string& folder);
std::map<std::string, Bytes> FilesWithBytes(const std::string& folder);
// The messages of an activity log file, in order, without time stamps.
std::vector<std::string> LogMessagesIn(const std::string& log_file);

// Every test gets its own empty folder as the current directory, and the
// activity log in it ("test.log"). Both are undone afterwards.
class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Absolute path of a name inside the scratch folder.
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  const std::string& Dir() const { return dir_; }
  // The messages logged so far, in order, without time stamps.
  std::vector<std::string> LogMessages() const;
  std::string LogText() const;

 private:
  std::string dir_;
  std::string saved_cwd_;
};

// A generated bitmap, by default the one layout the receivers take: 720 x 576,
// 8 bits, uncompressed, 40-byte info header, 256 colours, bottom-up.
struct BitmapRecipe {
  int32_t width = 720;
  int32_t height = 576;
  uint16_t bit_count = 8;
  uint32_t compression = 0;
  uint32_t info_size = 40;
  uint32_t colors_used = 0;        // header field
  uint32_t palette_entries = 256;  // entries actually stored
  uint32_t gap_before_pixels = 0;  // bytes between palette and pixel rows
  uint32_t pixel_rows = 576;       // rows actually stored
  uint32_t row_bytes = 720;        // bytes per stored row
  uint32_t seed = 1;               // varies palette and pixels
};

Bytes MakeBitmap(const BitmapRecipe& recipe = {});
// Runs the file steps once in the current folder on such a bitmap (in.bmp),
// for the files each step reads: ct, raw, raw2, raw2.gz, tmp, tmp2, welcome,
// part (model 200's partition) and usb. A failed step fails the test; call
// it under ASSERT_NO_FATAL_FAILURE.
void MakeChainFiles(const BitmapRecipe& recipe = {});
// Palette entry i of a generated bitmap, and pixel (x, row) as stored.
Rgb GeneratedColor(const BitmapRecipe& recipe, uint32_t i);
uint8_t GeneratedPixel(const BitmapRecipe& recipe, uint32_t x, uint32_t stored_row);

// A 720 x 576 picture in 12 colours, in bands.
Picture8 BandedPicture();
// The picture as an 8-bit run-length-encoded bitmap (compression 1), rows
// closed by 00 00, the last by 00 01 (end of bitmap).
Bytes Rle8Bitmap(const Picture8& p);
// The picture as a GIF whose LZW data never compresses: every code a
// literal at 9 bits, ended by the end marker 0x3B.
Bytes LiteralGif(const Picture8& p);
// A TIFF's header and first directory only, claiming a picture of that size
// in one uncompressed strip of 8-bit samples: 1 a pixel is grey, 3 RGB.
Bytes TiffHeaderOnly(uint32_t width, uint32_t height, int samples);

}  // namespace kws::test
