#include "fit/picture_header.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace kws {
namespace {

using test::Bytes;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

class PictureHeaderTest : public test::ScratchDirTest {};

// The size as each format's header states it, however much (little) data
// follows: a 16000 x 16000 PNG is known as such from its first 24 bytes.
TEST_F(PictureHeaderTest, ReadsTheSizeFromTheHeader) {
  const Bytes png = test::Hex("89 50 4E 47 0D 0A 1A 0A 00 00 00 0D 49 48 44 52 00 00 3E 80 00 00 3E 80 08 02");
  const Bytes gif = Concat({test::ToBytes("GIF89a"), test::Hex("40 01 F0 00 F7 00 00")});
  // A JPEG with an APP1 segment of 300 bytes before its frame header.
  const Bytes jpeg = Concat({test::Hex("FF D8 FF E1 01 2C"), Bytes(298, 0),
                             test::Hex("FF FF C2 00 11 08 02 40 03 20 03 01 22 00 02 11 01 03 11 01")});
  const Bytes webp_lossy =
      Concat({test::ToBytes("RIFF"), Bytes(4, 0), test::ToBytes("WEBPVP8 "), Bytes(10, 0), test::Hex("80 02 00 02")});
  const Bytes webp_lossless = Concat({test::ToBytes("RIFF"), Bytes(4, 0), test::ToBytes("WEBPVP8L"), Bytes(4, 0),
                                      test::Hex("2F 7F FE C3 09"), Bytes(5, 0)});
  const Bytes webp_extended = Concat(
      {test::ToBytes("RIFF"), Bytes(4, 0), test::ToBytes("WEBPVP8X"), Bytes(8, 0), test::Hex("7F 3E 00 7F 3E 00")});
  const Bytes rle = test::MakeBitmap({.width = 300, .height = 200, .compression = 1});
  const struct {
    const char* name;
    Bytes bytes;
    const char* format;
    uint32_t width, height;
    bool run_length;
  } cases[] = {
      {"png", png, "png", 16000, 16000, false},
      {"gif", gif, "gif", 320, 240, false},
      {"jpeg", jpeg, "jpeg", 800, 576, false},
      {"webp lossy", webp_lossy, "webp", 640, 512, false},
      {"webp lossless", webp_lossless, "webp", 16000, 10000, false},
      {"webp extended", webp_extended, "webp", 16000, 16000, false},
      {"bitmap", test::MakeBitmap(), "bmp", 720, 576, false},
      {"run-length bitmap", rle, "bmp", 300, 200, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteBytes(Path("picture"), c.bytes);
    const std::optional<PictureHeader> header = ReadPictureHeader(Path("picture"));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->format, c.format);
    EXPECT_EQ(header->width, c.width);
    EXPECT_EQ(header->height, c.height);
    EXPECT_EQ(header->run_length, c.run_length);
  }
}

TEST_F(PictureHeaderTest, NothingForWhatItCannotTell) {
  const Bytes cases[] = {{},
                         test::ToBytes("no picture"),
                         test::Hex("89 50 4E 47 0D 0A 1A 0A 00 00 00 0D 49 48 44 52 00 00"),
                         test::Hex("FF D8 FF E0 00 10"),
                         test::Hex("FF D8 FF DA 00 02 FF D9"),
                         test::ToBytes("<svg/>")};
  for (const Bytes& bytes : cases) {
    test::WriteBytes(Path("picture"), bytes);
    EXPECT_FALSE(ReadPictureHeader(Path("picture")));
  }
  EXPECT_FALSE(ReadPictureHeader(Path("missing")));
}

}  // namespace
}  // namespace kws
