// Pictures whose decoders would hold more than a reading may take are
// refused before they decode, from their headers alone, saying up to how
// many pixels one like them is taken; those that fit are read.
#include "picture/read_budget.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <string>
#include <vector>

#include "fit/import_error.h"
#include "picture/canvas.h"
#include "picture/decoder_needs.h"
#include "support/test_support.h"

namespace kws {
namespace {

void Put16(QByteArray& b, int value, bool big_endian = true) {
  const char high = static_cast<char>(value >> 8), low = static_cast<char>(value);
  b.append(big_endian ? high : low).append(big_endian ? low : high);
}

// A JPEG's markers up to its first scan and no pixels: a picture of this
// size whose components have these sampling factors (0x21: twice across,
// once down), progressive or not, its first scan holding scan_components of
// them.
QByteArray JpegHeader(int width, int height, bool progressive, const std::vector<uint8_t>& sampling,
                      int scan_components) {
  QByteArray b("\xFF\xD8", 2);
  b.append(progressive ? "\xFF\xC2" : "\xFF\xC0", 2);
  Put16(b, 8 + 3 * static_cast<int>(sampling.size()));
  b.append(char(8));
  Put16(b, height);
  Put16(b, width);
  b.append(static_cast<char>(sampling.size()));
  for (size_t i = 0; i < sampling.size(); ++i)
    b.append(char(i + 1)).append(static_cast<char>(sampling[i])).append('\0');
  b.append("\xFF\xDA", 2);
  Put16(b, 6 + 2 * scan_components);
  b.append(static_cast<char>(scan_components));
  for (int i = 0; i < scan_components; ++i) b.append(char(i + 1)).append('\0');
  b.append('\0').append(progressive ? '\0' : '\x3F').append('\0');
  b.append("\xFF\xD9", 2);
  return b;
}

// A TIFF's header and first directory only: 8-bit RGB of that size in one
// uncompressed strip.
QByteArray TiffHeader(int width, int height) {
  const test::Bytes b = test::TiffHeaderOnly(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 3);
  return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}

// A GIF whose screen and one frame are of that size, with a few bytes of
// pixels.
QByteArray GifHeader(int width, int height) {
  QByteArray b("GIF89a");
  Put16(b, width, false);
  Put16(b, height, false);
  b.append("\x80\0\0\0\0\0\xFF\xFF\xFF", 9);  // 2-entry colour table
  b.append("\x2C\0\0\0\0", 5);
  Put16(b, width, false);
  Put16(b, height, false);
  b.append("\0\x02\x02\x44\x01\0\x3B", 7);  // codes of 2 bits: clear, 0, end; end of the file
  return b;
}

// A TGA's header and footer of a picture of that size, its pixels left out.
QByteArray TgaHeader(int width, int height) {
  QByteArray b("\x01\0\x02\0\0\0\0\0\0\0\0\0", 12);  // an identifier of 1 byte, true colour
  Put16(b, width, false);
  Put16(b, height, false);
  b.append("\x18\x20K", 3);  // 24 bits, top row first; the identifier
  b.append(8, '\0');
  b.append("TRUEVISION-XFILE.", 18);
  return b;
}

// An MNG's signature and header (MHDR) for frames of that size.
QByteArray MngHeader(int width, int height) {
  QByteArray b("\x8AMNG\r\n\x1A\n\0\0\0\x1CMHDR", 16);
  for (const int value : {width, height}) {
    Put16(b, value >> 16);
    Put16(b, value & 0xFFFF);
  }
  b.append(24, '\0');  // ticks, layers, frames, time, profile and the check sum
  return b;
}

// An SVG holding the picture in a data URL.
QByteArray SvgHolding(const QByteArray& picture, const char* type) {
  return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' width='64' "
         "height='64'><image width='64' height='64' xlink:href='data:" +
         QByteArray(type) + ";base64," + picture.toBase64() + "'/></svg>";
}

// The refusal of a picture of that size and kind, one like it taken up to
// most pixels.
std::string DecodedWhole(const char* size, const char* kind, const char* most) {
  return std::string("at ") + size + " pixels it is too large: " + kind +
         " is decoded whole, and the import takes one like it of up to " + most + " pixels";
}

// The reading of each picture for a canvas of 576 x 576, a JPEG at an
// eighth of its size: refused with the reason, or not refused for its size
// (the pictures hold no pixels, so those read fail otherwise or come out
// empty).
TEST(ReadBudget, PicturesTooLargeToDecodeAreRefusedFromTheirHeaders) {
  const struct {
    const char* name;
    QByteArray bytes;
    std::string refusal;  // empty: not refused for its size
  } cases[] = {
      // libjpeg's coefficients, 3 x 1,000 x 1,000 blocks of 128 bytes, and
      // the picture read at 1,000 x 1,000 beside them.
      {"progressive, colour at full resolution", JpegHeader(8000, 8000, true, {0x11, 0x11, 0x11}, 1),
       DecodedWhole("8,000 x 8,000", "a progressive JPEG", "22,139,006")},
      // Colour at half the resolution across and down: a quarter of the
      // blocks each.
      {"progressive, colour halved", JpegHeader(8000, 8000, true, {0x22, 0x11, 0x11}, 1),
       DecodedWhole("8,000 x 8,000", "a progressive JPEG", "43,826,196")},
      {"in several scans", JpegHeader(8000, 8000, false, {0x11, 0x11, 0x11}, 1),
       DecodedWhole("8,000 x 8,000", "a JPEG in several scans", "22,139,006")},
      // 128 MB of coefficients and 1 MB of grey pixels fit.
      {"progressive grey", JpegHeader(8000, 8000, true, {0x11}, 1), ""},
      {"baseline", JpegHeader(8000, 8000, false, {0x22, 0x11, 0x11}, 3), ""},
      // The picture at 4 bytes a pixel and its one strip twice at 3.
      {"TIFF in one strip", TiffHeader(4000, 4000), DecodedWhole("4,000 x 4,000", "a TIFF", "13,421,772")},
      {"smaller TIFF in one strip", TiffHeader(3000, 3000), ""},
      // The screen at 4 bytes a pixel and its copy, beside the file's 35
      // bytes.
      {"GIF", GifHeader(5000, 5000), DecodedWhole("5,000 x 5,000", "a GIF", "16,777,211")},
      {"smaller GIF", GifHeader(4000, 4000), ""},
      // Qt's TGA reader makes its own picture beside the import's.
      {"TGA", TgaHeader(5000, 5000), DecodedWhole("5,000 x 5,000", "a TGA", "16,777,216")},
      {"smaller TGA", TgaHeader(4000, 4000), ""},
      // Its size from the header: Qt's reader tells it only as it decodes.
      // Two pictures and libmng's own copies, 11 bytes a pixel.
      {"MNG", MngHeader(4000, 4000), DecodedWhole("4,000 x 4,000", "an MNG", "12,201,611")},
      {"smaller MNG", MngHeader(3000, 3000), ""},
      // Qt's SVG reader holds them decoded, at 4 bytes a pixel.
      {"SVG holding a large picture", SvgHolding(GifHeader(6000, 6000), "image/gif"),
       "the pictures inside it come to more than 33,554,432 pixels, the most the import takes"},
  };
  const auto target = [](const QSize&) { return QSize(576, 576); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string refusal;
    try {
      DecodePicture(c.bytes, "picture", target);
    } catch (const ImportError& e) {
      refusal = e.what();
    }
    if (c.refusal.empty()) {
      EXPECT_EQ(refusal.find("too large"), std::string::npos) << refusal;
    } else {
      EXPECT_EQ(refusal, "Cannot read picture as a picture: " + c.refusal);
    }
  }
}

TEST(ReadBudget, TheDecodersNeedsComeFromTheHeaders) {
  const struct {
    const char* name;
    QByteArray bytes;
    std::string kind;
    uint64_t extra_bytes, extra_bytes_a_pixel;
    QSize size;  // only where the reader does not tell it
  } cases[] = {
      // Blocks rounded up to whole groups of a component's sampling: 2
      // across and down for the brightness, 41 x 31 blocks of 128 bytes
      // each; the colour at half of that, 21 x 16.
      {"progressive, colour halved",
       JpegHeader(321, 241, true, {0x22, 0x11, 0x11}, 1),
       "a progressive JPEG",
       (42 * 32 + 2 * 21 * 16) * 128,
       0,
       {}},
      {"baseline", JpegHeader(321, 241, false, {0x22, 0x11, 0x11}, 3), "", 0, 0, {}},
      {"TIFF", TiffHeader(100, 50), "", 2 * 100 * 50 * 3, 0, {}},
      {"GIF", GifHeader(100, 50), "", 0, 4, {}},
      {"MNG", MngHeader(100, 50), "", 0, 3, QSize(100, 50)},
      {"no picture", QByteArray("nothing"), "", 0, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QBuffer buffer;
    buffer.setData(c.bytes);
    buffer.open(QIODevice::ReadOnly);
    const DecoderNeeds needs = FindDecoderNeeds(buffer);
    EXPECT_EQ(needs.kind, c.kind);
    EXPECT_EQ(needs.extra_bytes, c.extra_bytes);
    EXPECT_EQ(needs.extra_bytes_a_pixel, c.extra_bytes_a_pixel);
    EXPECT_EQ(needs.size, c.size);
    EXPECT_EQ(buffer.pos(), 0);
  }
}

TEST(ReadBudget, AFileHeldWholeIsRefusedOverTheReadingsMemory) {
  EXPECT_FALSE(TooLargeToHold("gif", kMaxReadingBytes - 1));
  EXPECT_EQ(TooLargeToHold("gif", 200'000'000),
            "at 200,000,000 bytes it is too large: a GIF is held whole while it is decoded, and the import takes one "
            "of up to 134,217,728 bytes");
  // Its bytes and what its decoder holds together.
  const WholeReading reading{"webp",          QSize(4000, 4000),
                             QSize(500, 500), QImage::Format_RGBA8888,
                             100'000'000,     DecoderNeeds{"a lossless WebP", 0, 4, {}}};
  EXPECT_EQ(TooLargeToReadWhole(reading),
            "at 4,000 x 4,000 pixels it is too large: a lossless WebP is decoded whole, and the import takes one like "
            "it of up to 8,422,825 pixels");
}

}  // namespace
}  // namespace kws
