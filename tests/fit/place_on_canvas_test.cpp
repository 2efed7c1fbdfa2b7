// The picture's placement on the canvas, on plain bytes: what the desktop
// programs and the browser page both do with a decoded picture.
#include "fit/place_on_canvas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "fit/import_error.h"

namespace kws {
namespace {

RgbaPicture Filled(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  RgbaPicture picture(width, height);
  for (size_t i = 0; i < picture.rgba.size(); i += 4) {
    picture.rgba[i] = r;
    picture.rgba[i + 1] = g;
    picture.rgba[i + 2] = b;
    picture.rgba[i + 3] = a;
  }
  return picture;
}

Rgb At(const RgbaPicture& p, int x, int y) {
  const uint8_t* q = p.Row(y) + static_cast<size_t>(x) * 4;
  return Rgb{q[0], q[1], q[2]};
}

TEST(PlaceOnCanvas, APictureOfTheFramesSizeIsTakenAsItIs) {
  RgbaPicture picture(720, 576);
  for (size_t i = 0; i < picture.rgba.size(); ++i) picture.rgba[i] = static_cast<uint8_t>(i * 7 % 251);
  for (size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 0xFF;
  for (const Display display : {Display::kSquare, Display::k4x3, Display::k16x9}) {
    for (const bool fill : {false, true}) {
      const RgbaPicture canvas =
          PlaceOnCanvas(PixelsOf(picture), {720, 576}, {1, 2, 3}, fill, display, SafeArea::kNone);
      EXPECT_EQ(canvas.rgba, picture.rgba) << DisplayName(display) << (fill ? " fill" : "");
    }
  }
}

// Shrunk, enlarged or both, a plain picture stays its colour, and the
// background shows only outside the placed size.
TEST(PlaceOnCanvas, PlainPicturesStayPlainAndCentred) {
  const struct {
    int width, height;
    Display display;
    bool fill;
  } cases[] = {
      {1024, 768, Display::kSquare, false}, {100, 50, Display::kSquare, false}, {3000, 20, Display::k4x3, false},
      {7, 900, Display::k16x9, false},      {1, 10000, Display::kSquare, true}, {10000, 1, Display::k4x3, true},
      {512, 512, Display::k16x9, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const RgbaPicture picture = Filled(c.width, c.height, 200, 100, 50, 255);
    const RgbaPicture canvas =
        PlaceOnCanvas(PixelsOf(picture), {c.width, c.height}, {0, 0, 255}, c.fill, c.display, SafeArea::kNone);
    ASSERT_EQ(canvas.width, 720);
    ASSERT_EQ(canvas.height, 576);
    const Placement placement = PlacePicture({c.width, c.height}, c.fill, c.display, SafeArea::kNone);
    const int w = std::min(placement.size.width, 720), h = std::min(placement.size.height, 576);
    const int x0 = (720 - w) / 2, y0 = (576 - h) / 2;
    int coloured = 0;
    for (int y = 0; y < 576; ++y) {
      for (int x = 0; x < 720; ++x) {
        const bool inside = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h;
        EXPECT_EQ(At(canvas, x, y), inside ? Rgb(200, 100, 50) : Rgb(0, 0, 255)) << x << "," << y;
        coloured += inside;
        if (testing::Test::HasFailure()) return;
      }
    }
    EXPECT_EQ(coloured, w * h);
  }
}

// Transparent parts show the background, half-transparent ones half of it;
// a transparent pixel's own colour never bleeds into its neighbours.
TEST(PlaceOnCanvas, TransparentPartsShowTheBackground) {
  RgbaPicture picture = Filled(1440, 1152, 255, 0, 0, 0);  // transparent, but red
  for (int y = 0; y < 1152; ++y) {
    for (int x = 720; x < 1440; ++x) {
      uint8_t* p = picture.Row(y) + static_cast<size_t>(x) * 4;
      p[0] = 0, p[1] = 255, p[2] = 0, p[3] = y < 576 ? 255 : 128;
    }
  }
  const RgbaPicture canvas =
      PlaceOnCanvas(PixelsOf(picture), {1440, 1152}, {0, 0, 200}, false, Display::kSquare, SafeArea::kNone);
  EXPECT_EQ(At(canvas, 100, 100), Rgb(0, 0, 200));
  EXPECT_EQ(At(canvas, 359, 100), Rgb(0, 0, 200));
  EXPECT_EQ(At(canvas, 360, 100), Rgb(0, 255, 0));
  EXPECT_EQ(At(canvas, 600, 100), Rgb(0, 255, 0));
  EXPECT_EQ(At(canvas, 600, 500), Rgb(0, 128, 100));
}

// Shrinking averages what each canvas pixel covers: a one-pixel checkerboard
// halved is its mean grey, not a pattern picked from every other pixel.
TEST(PlaceOnCanvas, ShrinkingAveragesAndEnlargingInterpolates) {
  RgbaPicture board(1440, 1152);
  for (int y = 0; y < 1152; ++y) {
    for (int x = 0; x < 1440; ++x) {
      uint8_t* p = board.Row(y) + static_cast<size_t>(x) * 4;
      const uint8_t v = (x + y) % 2 ? 255 : 0;
      p[0] = p[1] = p[2] = v, p[3] = 255;
    }
  }
  const RgbaPicture halved =
      PlaceOnCanvas(PixelsOf(board), {1440, 1152}, {0, 0, 0}, false, Display::kSquare, SafeArea::kNone);
  for (const int x : {0, 1, 300, 719}) EXPECT_EQ(At(halved, x, 300), Rgb(128, 128, 128)) << x;

  // Two pixels, black and white, grown to the frame's width: a ramp.
  RgbaPicture pair = Filled(2, 1, 0, 0, 0, 255);
  std::fill_n(pair.Row(0) + 4, 3, uint8_t{255});
  const RgbaPicture ramp = PlaceOnCanvas(PixelsOf(pair), {2, 1}, {0, 0, 0}, true, Display::kSquare, SafeArea::kNone);
  int last = -1;
  for (int x = 0; x < 720; ++x) {
    const int v = At(ramp, x, 288).r;
    EXPECT_GE(v, last) << x;
    last = v;
  }
  EXPECT_EQ(At(ramp, 0, 288).r, 0);
  EXPECT_EQ(At(ramp, 719, 288).r, 255);
  EXPECT_NEAR(At(ramp, 360, 288).r, 128, 2);
}

// A picture read at a reduced scale lands where the whole one would.
TEST(PlaceOnCanvas, AReducedReadingIsPlacedAsTheWholePicture) {
  const RgbaPicture whole = Filled(2000, 1000, 10, 20, 30, 255);
  const RgbaPicture eighth = Filled(250, 125, 10, 20, 30, 255);
  const RgbaPicture a = PlaceOnCanvas(PixelsOf(whole), {2000, 1000}, {9, 9, 9}, false, Display::k4x3, SafeArea::kTitle);
  const RgbaPicture b =
      PlaceOnCanvas(PixelsOf(eighth), {2000, 1000}, {9, 9, 9}, false, Display::k4x3, SafeArea::kTitle);
  EXPECT_EQ(a.rgba, b.rgba);
}

TEST(PlaceOnCanvas, AnEmptyPictureIsRefused) {
  const RgbaPicture empty;
  EXPECT_THROW(PlaceOnCanvas(PixelsOf(empty), {0, 0}, {}, false, Display::k4x3, SafeArea::kNone), ImportError);
}

}  // namespace
}  // namespace kws
