// Large pictures shrunk while they are read (a PNG by libpng, an
// uncompressed bitmap a strip at a time by Qt's reader): each block the
// alpha-weighed mean of its pixels, whatever the file's kind; what they
// cannot read is left to Qt.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <cstdlib>

#include "format/byte_order.h"
#include "picture/bmp_shrink.h"
#include "picture/canvas.h"
#include "picture/png_shrink.h"
#include "picture/pnm_shrink.h"
#include "picture/webp_shrink.h"
#include "support/photo_like.h"
#include "support/test_support.h"

namespace kws {
namespace {

QByteArray Written(const QImage& image, const char* format, int quality = -1) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(quality);
  EXPECT_TRUE(writer.write(image));
  return bytes;
}

QByteArray Png(const QImage& image) { return Written(image, "png"); }

// The mean of each factor x factor block, colours weighed by alpha.
QImage Blocks(const QImage& source, int factor) {
  const QImage rgba = source.convertToFormat(QImage::Format_RGBA8888);
  QImage out((rgba.width() + factor - 1) / factor, (rgba.height() + factor - 1) / factor, QImage::Format_RGBA8888);
  for (int by = 0; by < out.height(); ++by) {
    for (int bx = 0; bx < out.width(); ++bx) {
      uint64_t s[5] = {};
      for (int y = by * factor; y < std::min(rgba.height(), (by + 1) * factor); ++y) {
        for (int x = bx * factor; x < std::min(rgba.width(), (bx + 1) * factor); ++x) {
          const uchar* p = rgba.constScanLine(y) + 4 * x;
          for (int k = 0; k < 3; ++k) s[k] += uint64_t{p[k]} * p[3];
          s[3] += p[3];
          s[4] += 1;
        }
      }
      uchar* o = out.scanLine(by) + 4 * bx;
      for (int k = 0; k < 3; ++k) o[k] = s[3] == 0 ? 0 : static_cast<uchar>((s[k] + s[3] / 2) / s[3]);
      o[3] = static_cast<uchar>((s[3] + s[4] / 2) / s[4]);
    }
  }
  return out;
}

// The largest difference of a sample between two pictures of one size, 256
// when their sizes differ.
int LargestDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.format() != b.format()) return 256;
  int off = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width() * 4; ++x)
      off = std::max(off, std::abs(a.constScanLine(y)[x] - b.constScanLine(y)[x]));
  }
  return off;
}

// The picture with its alpha rising and falling across it.
QImage Translucent(const QImage& picture) {
  QImage translucent = picture.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < translucent.height(); ++y) {
    for (int x = 0; x < translucent.width(); ++x) {
      const QRgb c = translucent.pixel(x, y);
      translucent.setPixel(x, y, qRgba(qRed(c), qGreen(c), qBlue(c), (x * 7 + y * 3) % 256));
    }
  }
  return translucent;
}

TEST(PngShrink, EachBlockIsTheMeanOfItsPixelsWhateverTheKind) {
  const QImage photo = MakePhotoLike({.width = 203, .height = 151, .grain = 6.0, .seed = 3});
  const QImage translucent = Translucent(photo);
  const struct {
    const char* name;
    QImage image;
    int factor;
  } cases[] = {
      {"24-bit, blocks of 2", photo.convertToFormat(QImage::Format_RGB888), 2},
      {"24-bit, blocks of 5 with part blocks at the edges", photo.convertToFormat(QImage::Format_RGB888), 5},
      {"with alpha", translucent, 3},
      {"grey", photo.convertToFormat(QImage::Format_Grayscale8), 4},
      {"16-bit grey", photo.convertToFormat(QImage::Format_Grayscale16), 2},
      {"palette", photo.convertToFormat(QImage::Format_Indexed8), 3},
      {"64-bit colour", translucent.convertToFormat(QImage::Format_RGBA64), 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray bytes = Png(c.image);
    const std::optional<QImage> shrunk = ReadPngShrunk(bytes, c.factor);
    ASSERT_TRUE(shrunk);
    // 16-bit samples are rounded to 8 by libpng and by Qt alike, or within
    // one.
    EXPECT_LE(LargestDifference(*shrunk, Blocks(QImage::fromData(bytes, "png"), c.factor)), 1);
  }
}

TEST(PngShrink, WhatItCannotReadToTheEndIsLeftToQt) {
  const QByteArray whole = Png(MakePhotoLike({.width = 64, .height = 48}));
  EXPECT_FALSE(ReadPngShrunk(whole.left(whole.size() / 2), 2));  // cut short
  EXPECT_FALSE(ReadPngShrunk(QByteArray("not a png at all"), 2));
  EXPECT_FALSE(ReadPngShrunk(whole, 1));  // nothing to shrink
  EXPECT_TRUE(ReadPngShrunk(whole, 2));
}

// A PNG over the size it is read whole at: read shrunk, placed where the
// whole picture would be.
// A 4400 x 4000 picture over the size it is read whole at: a yellow
// rectangle on blue, in the format given (at the quality given).
QByteArray LargePicture(const char* format, int quality = -1) {
  QImage big(4400, 4000, QImage::Format_RGB32);
  big.fill(QColor(20, 40, 60));
  for (int y = 1000; y < 3000; ++y) {
    for (int x = 1100; x < 3300; ++x) big.setPixel(x, y, qRgb(220, 200, 40));
  }
  return Written(big, format, quality);
}

// The large picture read for a canvas of 720 x 655: shrunk by 6, and placed
// where the whole picture would be.
void ExpectPlacedAsWhenReadWhole(const QByteArray& bytes, const std::string& name) {
  const DecodedPicture decoded = DecodePicture(bytes, name, [](const QSize&) { return QSize(720, 655); });
  EXPECT_EQ(decoded.size, QSize(4400, 4000));
  EXPECT_EQ(decoded.image.size(), QSize(734, 667));  // shrunk by 6
  EXPECT_TRUE(decoded.warnings.empty());
  const QImage placed =
      PlaceOnCanvas(decoded.image, decoded.size, Rgb{0, 0, 0}, false, Display::kSquare, SafeArea::kNone);
  EXPECT_EQ(QColor(placed.pixel(360, 288)), QColor(220, 200, 40));
  EXPECT_EQ(QColor(placed.pixel(360, 20)), QColor(20, 40, 60));
}

TEST(PngShrink, ALargePngIsPlacedAsWhenReadWhole) { ExpectPlacedAsWhenReadWhole(LargePicture("png"), "big.png"); }

QByteArray Bytes(const test::Bytes& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// A bitmap as Qt's reader reads it into an empty picture, as the import
// reads one whole: rows a file cut short leaves out stay empty.
QImage ReadWhole(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "bmp");
  QImage image(reader.size(), reader.imageFormat());
  image.fill(0);
  EXPECT_TRUE(reader.read(&image));
  return image;
}

std::optional<QImage> BmpShrunk(const QByteArray& bytes, int factor) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return ReadBmpShrunk(buffer, factor);
}

// A 203 x 151 bitmap of 16-bit pixels in five, six and five bits (colour
// masks after the 40-byte header).
QByteArray Bitmap565() {
  test::Bytes b = test::MakeBitmap({.width = 203,
                                    .height = 151,
                                    .bit_count = 16,
                                    .compression = 3,
                                    .palette_entries = 3,
                                    .pixel_rows = 151,
                                    .row_bytes = 408});
  PutLE32(&b[54], 0xF800);
  PutLE32(&b[58], 0x07E0);
  PutLE32(&b[62], 0x001F);
  return Bytes(b);
}

// The bitmap with its rows stored top first, as a negative height says.
QByteArray TopFirst(const QByteArray& bottom_first) {
  QByteArray b = bottom_first;
  const auto* h = reinterpret_cast<const uint8_t*>(b.constData());
  const int32_t height = static_cast<int32_t>(GetLE32(h + 22));
  const uint32_t offset = GetLE32(h + 10);
  const qsizetype row = (b.size() - offset) / height;
  for (int32_t y = 0; y < height; ++y) {
    b.replace(offset + y * row, row, bottom_first.mid(offset + (height - 1 - y) * row, row));
  }
  PutLE32(reinterpret_cast<uint8_t*>(b.data()) + 22, static_cast<uint32_t>(-height));
  return b;
}

TEST(BmpShrink, EachBlockIsTheMeanOfItsPixelsAsQtReadsThem) {
  const QImage photo = MakePhotoLike({.width = 203, .height = 151, .grain = 6.0, .seed = 5});
  const QImage translucent = Translucent(photo);
  const QByteArray rgb24 = Written(photo.convertToFormat(QImage::Format_RGB888), "bmp");
  // Strips of about a megabyte: several of them, each row different.
  QImage wide_picture(2000, 700, QImage::Format_RGB888);
  for (int y = 0; y < wide_picture.height(); ++y) {
    uchar* row = wide_picture.scanLine(y);
    for (int x = 0; x < wide_picture.width() * 3; ++x) row[x] = static_cast<uchar>(x * 7 + y * 13);
  }
  const QByteArray wide = Written(wide_picture, "bmp");
  const struct {
    const char* name;
    QByteArray bytes;
    int factor;
  } cases[] = {
      {"24-bit, blocks of 2", rgb24, 2},
      {"24-bit, blocks of 7 with part blocks at the edges", rgb24, 7},
      {"24-bit, stored top first", TopFirst(rgb24), 3},
      {"32-bit with alpha", Written(translucent, "bmp"), 3},
      {"8-bit palette", Written(photo.convertToFormat(QImage::Format_Indexed8), "bmp"), 4},
      {"1-bit", Written(photo.convertToFormat(QImage::Format_Mono), "bmp"), 2},
      {"4-bit",
       Bytes(test::MakeBitmap(
           {.width = 203, .height = 151, .bit_count = 4, .palette_entries = 16, .pixel_rows = 151, .row_bytes = 104})),
       3},
      {"16-bit, five bits each",
       Bytes(test::MakeBitmap(
           {.width = 203, .height = 151, .bit_count = 16, .palette_entries = 0, .pixel_rows = 151, .row_bytes = 408})),
       2},
      {"16-bit with colour masks", Bitmap565(), 5},
      {"32-bit without alpha",
       Bytes(test::MakeBitmap(
           {.width = 203, .height = 151, .bit_count = 32, .palette_entries = 0, .pixel_rows = 151, .row_bytes = 812})),
       2},
      {"24-bit in several strips", wide, 2},
      {"24-bit in several strips stored top first", TopFirst(wide), 3},
      {"24-bit, one row of blocks to a strip", wide, 300},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<QImage> shrunk = BmpShrunk(c.bytes, c.factor);
    ASSERT_TRUE(shrunk);
    EXPECT_EQ(LargestDifference(*shrunk, Blocks(ReadWhole(c.bytes), c.factor)), 0);
  }
}

// Rows the file does not hold are empty, as they are when Qt reads it
// whole, and stored bottom first they are the top ones.
TEST(BmpShrink, ABitmapCutShortLeavesItsMissingRowsEmpty) {
  const QByteArray whole =
      Written(MakePhotoLike({.width = 300, .height = 200}).convertToFormat(QImage::Format_RGB888), "bmp");
  const QByteArray cut = whole.left(54 + 120 * 900);
  const std::optional<QImage> shrunk = BmpShrunk(cut, 4);
  ASSERT_TRUE(shrunk);
  EXPECT_EQ(LargestDifference(*shrunk, Blocks(ReadWhole(cut), 4)), 0);
  EXPECT_EQ(QColor::fromRgba(shrunk->pixel(10, 0)), QColor(0, 0, 0));
}

TEST(BmpShrink, WhatItDoesNotReadIsLeftToQt) {
  const test::BitmapRecipe plain{.width = 64, .height = 48, .pixel_rows = 48, .row_bytes = 64};
  test::BitmapRecipe inside_palette = plain;
  inside_palette.palette_entries = 16;  // the pixels start where the 256-colour table would go on
  const test::BitmapRecipe core{.width = 64, .height = 48, .info_size = 12, .pixel_rows = 48, .row_bytes = 64};
  const struct {
    const char* name;
    QByteArray bytes;
    int factor;
  } cases[] = {
      {"run-length-coded", Bytes(test::Rle8Bitmap(test::BandedPicture())), 2},
      {"an OS/2 header", Bytes(test::MakeBitmap(core)), 2},
      {"pixels inside the colour table", Bytes(test::MakeBitmap(inside_palette)), 2},
      {"nothing to shrink", Bytes(test::MakeBitmap(plain)), 1},
      {"no bitmap at all", QByteArray("BM but nothing more"), 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(BmpShrunk(c.bytes, c.factor));
  }
  EXPECT_TRUE(BmpShrunk(Bytes(test::MakeBitmap(plain)), 2));
}

// A bitmap over the size it is read whole at: read shrunk, placed where the
// whole picture would be, and one cut short warned of as before.
TEST(BmpShrink, ALargeBitmapIsPlacedAsWhenReadWholeAndWarnedOfWhenCutShort) {
  const QByteArray bytes = LargePicture("bmp");
  ExpectPlacedAsWhenReadWhole(bytes, "big.bmp");
  const auto target = [](const QSize&) { return QSize(720, 655); };
  const DecodedPicture cut = DecodePicture(bytes.left(bytes.size() / 2), "cut.bmp", target);
  EXPECT_EQ(cut.image.size(), QSize(734, 667));
  ASSERT_EQ(cut.warnings.size(), 1u);
  EXPECT_EQ(cut.warnings[0],
            "the file ends early: it holds 26,399,973 of the 52,800,000 bytes of its pixel rows, so part of the "
            "picture is missing");
}

// The mean difference of a sample between two pictures of one size.
double MeanDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size() || a.format() != b.format()) return 256;
  uint64_t sum = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width() * 4; ++x) sum += std::abs(a.constScanLine(y)[x] - b.constScanLine(y)[x]);
  }
  return double(sum) / (double(a.width()) * a.height() * 4);
}

// Each pixel of the smaller picture the mean of those it covers in the
// whole one, as Qt reads it, and with alpha weighing its colour as the
// canvas will: libwebp's rescaler takes the pixels covered by a part as a
// part, where the blocks count whole pixels, and a lossy picture's colour
// it scales at half its size, where Qt interpolates it first.
TEST(WebpShrink, TheSmallerPictureIsTheMeanOfTheWholeOne) {
  const QImage photo = MakePhotoLike({.width = 400, .height = 300, .grain = 3.0, .seed = 7});
  const struct {
    const char* name;
    QByteArray bytes;
    int factor;
    int largest;
    double mean;
  } cases[] = {
      {"lossless", Written(photo, "webp", 100), 4, 1, 0.1},
      {"lossless with alpha", Written(Translucent(photo), "webp", 100), 2, 1, 0.2},
      {"lossy", Written(photo, "webp", 90), 2, 12, 1},
      {"lossy, blocks of 3 with part blocks at the edges", Written(photo, "webp", 90), 3, 16, 1.5},
      {"lossy with alpha", Written(Translucent(photo), "webp", 90), 2, 12, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<QImage> shrunk = ReadWebpShrunk(c.bytes, c.factor);
    ASSERT_TRUE(shrunk);
    const QImage got = shrunk->convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    const QImage expected =
        Blocks(QImage::fromData(c.bytes, "webp"), c.factor).convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    EXPECT_LE(LargestDifference(got, expected), c.largest);
    EXPECT_LE(MeanDifference(got, expected), c.mean);
  }
}

TEST(WebpShrink, WhatItCannotReadIsLeftToQt) {
  const QByteArray whole = Written(MakePhotoLike({.width = 64, .height = 48}), "webp", 90);
  EXPECT_FALSE(ReadWebpShrunk(whole.left(whole.size() / 2), 2));  // cut short
  EXPECT_FALSE(ReadWebpShrunk(QByteArray("RIFF but no WebP"), 2));
  EXPECT_FALSE(ReadWebpShrunk(whole, 1));  // nothing to shrink
  EXPECT_TRUE(ReadWebpShrunk(whole, 2));
}

TEST(WebpShrink, ALargeWebpIsPlacedAsWhenReadWhole) {
  ExpectPlacedAsWhenReadWhole(LargePicture("webp", 100), "big.webp");
}

}  // namespace
}  // namespace kws

namespace kws {
namespace {

std::optional<QImage> PnmShrunk(const QByteArray& bytes, int factor) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return ReadPnmShrunk(buffer, factor);
}

QImage Loaded(const QByteArray& bytes) {
  QImage image;
  EXPECT_TRUE(image.loadFromData(bytes));
  return image;
}

TEST(PnmShrink, EachBlockIsTheMeanOfItsPixelsAsQtReadsThem) {
  const QImage photo = MakePhotoLike({.width = 203, .height = 151});
  QByteArray sixteen_bit = "P6\n# a comment\n203 151\n65535\n";
  for (int y = 0; y < photo.height(); ++y) {
    for (int x = 0; x < photo.width(); ++x) {
      const QRgb c = photo.pixel(x, y);
      for (const int v : {qRed(c), qGreen(c), qBlue(c)}) sixteen_bit.append({char(v), char(v * 37 % 256)});
    }
  }
  const struct {
    const char* name;
    QByteArray bytes;
    int factor;
  } cases[] = {
      {"PPM", Written(photo, "ppm"), 2},
      {"PGM", Written(photo.convertToFormat(QImage::Format_Grayscale8), "pgm"), 3},
      {"PPM of 16-bit samples, a comment in its header", sixteen_bit, 4},
      {"one row of blocks to a strip", Written(photo, "ppm"), 150},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<QImage> shrunk = PnmShrunk(c.bytes, c.factor);
    ASSERT_TRUE(shrunk);
    EXPECT_EQ(LargestDifference(*shrunk, Blocks(Loaded(c.bytes), c.factor)), 0);
  }
}

TEST(PnmShrink, WhatItDoesNotReadIsLeftToQt) {
  const QImage photo = MakePhotoLike({.width = 64, .height = 48});
  const QByteArray ppm = Written(photo, "ppm");
  const struct {
    const char* name;
    QByteArray bytes;
  } cases[] = {
      {"text PPM", "P3\n2 1\n255\n1 2 3 4 5 6\n"},
      {"PBM", Written(photo.convertToFormat(QImage::Format_Mono), "pbm")},
      {"cut short", ppm.left(ppm.size() - 10)},
      {"no room for its samples in the header's numbers", "P6\n0 1\n255\n"},
      {"no white space after the header", "P6\n2 1\n255"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(PnmShrunk(c.bytes, 2));
  }
  EXPECT_FALSE(PnmShrunk(ppm, 1));
}

TEST(PnmShrink, ALargePpmIsPlacedAsWhenReadWhole) { ExpectPlacedAsWhenReadWhole(LargePicture("ppm"), "big.ppm"); }

}  // namespace
}  // namespace kws
