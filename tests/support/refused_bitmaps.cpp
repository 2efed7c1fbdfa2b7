#include "support/refused_bitmaps.h"

#include "format/byte_order.h"

namespace kws::test {

namespace {

void PutLE16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutLE32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

Bytes Rle4Bitmap() {
  constexpr uint32_t kEntries = 16;
  Bytes rows;
  for (int y = 0; y < kPictureHeight; ++y) {
    // Runs of at most 254 pixels (an even count keeps the two nibbles in
    // step), each a pair of alternating indices, then the end of the line.
    for (int left = kPictureWidth; left > 0;) {
      const int run = std::min(left, 254);
      rows.push_back(static_cast<uint8_t>(run));
      rows.push_back(static_cast<uint8_t>(((y & 15) << 4) | ((y + 1) & 15)));
      left -= run;
    }
    rows.insert(rows.end(), {0, 0});
  }
  rows.back() = 1;  // the last line's end is the bitmap's
  const uint32_t offset = bmp::kHeadersSize + kEntries * 4;
  Bytes b(offset, 0);
  b[0] = 'B';
  b[1] = 'M';
  PutLE32(b, bmp::kFileSize, offset + static_cast<uint32_t>(rows.size()));
  PutLE32(b, bmp::kPixelOffset, offset);
  PutLE32(b, bmp::kInfoSize, bmp::kInfoHeaderSize);
  PutLE32(b, bmp::kWidth, kPictureWidth);
  PutLE32(b, bmp::kHeight, kPictureHeight);
  PutLE16(b, bmp::kPlanes, 1);
  PutLE16(b, bmp::kBitCount, 4);
  PutLE32(b, bmp::kCompression, 2);  // RLE4
  PutLE32(b, bmp::kImageSize, static_cast<uint32_t>(rows.size()));
  PutLE32(b, bmp::kColorsUsed, kEntries);
  for (uint32_t i = 0; i < kEntries; ++i) {
    const size_t at = bmp::kHeadersSize + i * 4;
    b[at] = static_cast<uint8_t>(i * 16);
    b[at + 1] = static_cast<uint8_t>(255 - i * 16);
    b[at + 2] = static_cast<uint8_t>(i * 8);
  }
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

std::vector<RefusedBitmap> RefusedBitmaps() {
  BitmapRecipe deep;
  deep.bit_count = 24;
  BitmapRecipe small;
  small.width = 640, small.height = 480, small.pixel_rows = 480, small.row_bytes = 640;
  BitmapRecipe top_down;
  top_down.height = -kPictureHeight;
  // 4 bits per pixel as such a bitmap stores them: half the bytes of 8-bit rows.
  BitmapRecipe four;
  four.bit_count = 4, four.palette_entries = 16, four.row_bytes = 360;
  Bytes cut = MakeBitmap();
  cut.resize(30);
  return {
      {"deep.bmp", MakeBitmap(deep), "ERROR: bitdepth > 8 not supported!", "bit depth 24, needs 8"},
      {"rle.bmp", Rle8Bitmap(BandedPicture()), "ERROR: compression not supported!",
       "a compressed (RLE) bitmap, needs an uncompressed one"},
      {"rle4.bmp", Rle4Bitmap(), "ERROR: compression not supported!",
       "a compressed (RLE) bitmap, needs an uncompressed one; also, it has 4 bits per pixel, needs 8"},
      {"small.bmp", MakeBitmap(small), "ERROR: Bitmap must have 720x576 pixels! cx=640, cy=480",
       "640 x 480 pixels, needs 720 x 576"},
      {"topdown.bmp", MakeBitmap(top_down), "ERROR: Bitmap must have 720x576 pixels! cx=720, cy=-576",
       "stored top row first (height -576), needs the usual bottom-up order"},
      {"four.bmp", MakeBitmap(four), "ERROR: convbmp(), Msg=Stream read error",
       "the rows run out: it has 4 bits per pixel, needs 8"},
      {"cut.bmp", cut, "ERROR: ProcessFile(", "a bitmap cut short: only 30 bytes"},
      {"missing.bmp", {}, "ERROR: ProcessFile(", "Cannot open file"},
  };
}

}  // namespace kws::test
