// A large PNG shrunk while it is read: each block the alpha-weighed mean of
// its pixels, whatever the PNG's kind; what it cannot read is left to Qt.
#include "picture/png_shrink.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <cstdlib>

#include "picture/canvas.h"
#include "support/photo_like.h"

namespace kws {
namespace {

QByteArray Png(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  EXPECT_TRUE(writer.write(image));
  return bytes;
}

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

TEST(PngShrink, EachBlockIsTheMeanOfItsPixelsWhateverTheKind) {
  const QImage photo = MakePhotoLike({.width = 203, .height = 151, .grain = 6.0, .seed = 3});
  QImage translucent = photo.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < translucent.height(); ++y) {
    for (int x = 0; x < translucent.width(); ++x) {
      const QRgb c = translucent.pixel(x, y);
      translucent.setPixel(x, y, qRgba(qRed(c), qGreen(c), qBlue(c), (x * 7 + y * 3) % 256));
    }
  }
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
    const QImage read = QImage::fromData(bytes, "png");
    const std::optional<QImage> shrunk = ReadPngShrunk(bytes, c.factor);
    ASSERT_TRUE(shrunk);
    const QImage expected = Blocks(read, c.factor);
    ASSERT_EQ(shrunk->size(), expected.size());
    int off = 0;
    for (int y = 0; y < expected.height(); ++y) {
      for (int x = 0; x < expected.width() * 4; ++x) {
        // 16-bit samples are rounded to 8 by libpng and by Qt alike, or
        // within one.
        off = std::max(off, std::abs(shrunk->constScanLine(y)[x] - expected.constScanLine(y)[x]));
      }
    }
    EXPECT_LE(off, 1);
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
TEST(PngShrink, ALargePngIsPlacedAsWhenReadWhole) {
  QImage big(4400, 4000, QImage::Format_RGB32);
  big.fill(QColor(20, 40, 60));
  for (int y = 1000; y < 3000; ++y) {
    for (int x = 1100; x < 3300; ++x) big.setPixel(x, y, qRgb(220, 200, 40));
  }
  QByteArray bytes = Png(big);
  const auto target = [](const QSize&) { return QSize(720, 655); };
  const DecodedPicture decoded = DecodePicture(bytes, "big.png", target);
  EXPECT_EQ(decoded.size, QSize(4400, 4000));
  EXPECT_EQ(decoded.image.size(), QSize(734, 667));  // shrunk by 6
  EXPECT_TRUE(decoded.warnings.empty());
  const QImage placed =
      PlaceOnCanvas(decoded.image, decoded.size, Rgb{0, 0, 0}, false, Display::kSquare, SafeArea::kNone);
  EXPECT_EQ(QColor(placed.pixel(360, 288)), QColor(220, 200, 40));
  EXPECT_EQ(QColor(placed.pixel(360, 20)), QColor(20, 40, 60));
}

}  // namespace
}  // namespace kws
