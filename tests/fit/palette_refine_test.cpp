// Palette pictures brought closer to a picture: the nearest entry against
// every entry measured, the means, and refinement that never moves away.
#include "fit/palette_refine.h"

#include <gtest/gtest.h>

#include <QImage>
#include <limits>
#include <random>

#include "fit/measure.h"
#include "picture/canvas.h"
#include "support/photo_like.h"

namespace kws {
namespace {

// A small picture of random colours, and a palette of random colours with
// repeated entries, which the lowest index must win.
QImage RandomImage(int width, int height, uint32_t seed) {
  QImage image(width, height, QImage::Format_RGBA8888);
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y) {
    uchar* row = image.scanLine(y);
    for (int x = 0; x < width * 4; ++x) row[x] = (x % 4 == 3) ? 255 : static_cast<uchar>(rng());
  }
  return image;
}

std::vector<Rgb> RandomPalette(int colors, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Rgb> palette;
  for (int i = 0; i < colors; ++i) {
    if (i % 7 == 6) {
      palette.push_back(palette[static_cast<size_t>(i) / 2]);
    } else {
      palette.push_back({static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng())});
    }
  }
  return palette;
}

Picture8 WithPalette(const QImage& image, std::vector<Rgb> palette) {
  Picture8 picture;
  picture.width = image.width();
  picture.height = image.height();
  picture.palette = std::move(palette);
  return picture;
}

int Distance(const uchar* p, const Rgb& c) {
  const int dr = p[0] - c.r, dg = p[1] - c.g, db = p[2] - c.b;
  return dr * dr + dg * dg + db * db;
}

TEST(MapToNearest, TakesTheLowestOfTheNearestEntries) {
  const struct {
    const char* name;
    int colors;
    uint32_t seed;
  } cases[] = {{"one colour", 1, 1}, {"two", 2, 2}, {"sixteen", 16, 3}, {"a full palette", 256, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QImage image = RandomImage(61, 37, c.seed);
    Picture8 picture = WithPalette(image, RandomPalette(c.colors, c.seed + 10));
    MapToNearest(ToRgba(image), picture);
    ASSERT_EQ(picture.pixels.size(), size_t{61 * 37});
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const uchar* p = image.constScanLine(y) + 4 * x;
        int best = 0;
        for (int i = 1; i < c.colors; ++i) {
          if (Distance(p, picture.palette[i]) < Distance(p, picture.palette[best])) best = i;
        }
        ASSERT_EQ(picture.pixels[static_cast<size_t>(y) * 61 + x], best) << x << ", " << y;
      }
    }
  }
}

TEST(MoveToMeans, EachColourBecomesTheRoundedMeanOfItsPixelsAndUnusedOnesGo) {
  QImage image(4, 1, QImage::Format_RGBA8888);
  const uchar samples[] = {10, 20, 30, 255, 11, 21, 31, 255, 200, 0, 0, 255, 0, 0, 255, 255};
  std::copy(std::begin(samples), std::end(samples), image.scanLine(0));
  Picture8 picture = WithPalette(image, {{0, 0, 0}, {9, 9, 9}, {255, 0, 0}, {1, 1, 1}});
  // Entry 1 is taken by no pixel.
  picture.pixels = {0, 0, 2, 3};
  MoveToMeans(ToRgba(image), picture);
  const std::vector<Rgb> means = {{11, 21, 31}, {200, 0, 0}, {0, 0, 255}};
  EXPECT_EQ(picture.palette, means);
  EXPECT_EQ(picture.pixels, (std::vector<uint8_t>{0, 0, 1, 2}));
}

// Each round brings the picture closer, never further; the pixels always
// take their nearest entries at the end.
TEST(RefineColors, NeverMovesAwayFromThePicture) {
  const QImage photo = MakePhotoLike({.width = 180, .height = 144, .grain = 5.0, .seed = 2});
  double before = -std::numeric_limits<double>::infinity();
  for (int rounds : {0, 1, 2, 4, 8}) {
    SCOPED_TRACE(rounds);
    Picture8 picture = WithPalette(photo, RandomPalette(64, 9));
    RefineColors(ToRgba(photo), picture, rounds);
    const double psnr = Psnr(ToRgba(photo), picture);
    EXPECT_GE(psnr, before - 1e-9);
    before = psnr;
    Picture8 remapped = picture;
    MapToNearest(ToRgba(photo), remapped);
    EXPECT_EQ(remapped.pixels, picture.pixels);
  }
}

}  // namespace
}  // namespace kws
