// Palettes chosen for their bytes: the integer logarithm, and what a rate
// does to a picture with a noisy background.
#include "fit/rate_refine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "fit/colour_choice.h"
#include "fit/measure.h"
#include "fit/seen_search.h"

namespace kws {
namespace {

TEST(Log2In256ths, IsTheLogarithmRoundedDown) {
  for (uint64_t v : {uint64_t{1}, uint64_t{2}, uint64_t{3}, uint64_t{10}, uint64_t{255}, uint64_t{414720},
                     uint64_t{1} << 40, (uint64_t{1} << 40) + 12345}) {
    SCOPED_TRACE(v);
    const double exact = std::log2(static_cast<double>(v)) * 256;
    EXPECT_LE(static_cast<double>(Log2In256ths(v)), exact + 1e-9);
    EXPECT_GT(static_cast<double>(Log2In256ths(v)), exact - 1.0);
  }
  EXPECT_EQ(Log2In256ths(1), 0);
  EXPECT_EQ(Log2In256ths(1024), 10 * 256);
}

// A dark sky of nine levels of noise with a few bright, coloured stars: as
// in a deep-sky photo, the noise costs most of the bytes when each of its
// levels has an entry.
RgbaPicture StarField() {
  RgbaPicture canvas(360, 288);
  std::mt19937 random(7);
  for (int y = 0; y < canvas.height; ++y) {
    for (int x = 0; x < canvas.width; ++x) {
      uint8_t* p = canvas.Row(y) + 4 * x;
      // Sensor noise: the middle levels the most common.
      const int n = static_cast<int>(random() % 5 + random() % 5);
      const bool star = random() % 400 == 0;
      p[0] = static_cast<uint8_t>(star ? 150 + random() % 100 : 4 + n);
      p[1] = static_cast<uint8_t>(star ? 150 + random() % 100 : 5 + n);
      p[2] = static_cast<uint8_t>(star ? 180 + random() % 70 : 10 + n);
      p[3] = 255;
    }
  }
  return canvas;
}

TEST(RateRefine, AHigherRateSettlesTheNoiseOnFewerLevelsAndKeepsTheStars) {
  const RgbaPicture canvas = StarField();
  const ColourCounts counts = CountColours(canvas);
  ASSERT_EQ(counts.pixels, 360u * 288u);
  // Sixty-four entries: nine for the sky, the rest for the stars.
  std::vector<Rgb> start;
  for (int n = 0; n < 9; ++n)
    start.push_back({static_cast<uint8_t>(4 + n), static_cast<uint8_t>(5 + n), static_cast<uint8_t>(10 + n)});
  for (int i = 0; i < 55; ++i) {
    start.push_back({static_cast<uint8_t>(150 + i * 100 / 55), static_cast<uint8_t>(200), static_cast<uint8_t>(210)});
  }
  const Picture8 plain = MapForRate(canvas, counts, RefineForRate(counts, start, 0, 4), 0);
  const Picture8 rated = MapForRate(canvas, counts, RefineForRate(counts, start, 64, 4), 64);
  auto sky_levels = [](const Picture8& p) {
    int dark = 0;
    for (const Rgb& c : p.palette) dark += c.r < 40 ? 1 : 0;
    return dark;
  };
  EXPECT_EQ(sky_levels(plain), 9);
  EXPECT_LT(sky_levels(rated), 4);
  EXPECT_LT(WelcomeDataSize(rated), WelcomeDataSize(plain) * 2 / 3);
  // The stars keep most of their entries; the sky's error is a few levels
  // at most.
  EXPECT_GT(rated.palette.size(), 30u);
  EXPECT_GT(Psnr(canvas, rated), 36.0);
}

TEST(RateRefine, TheSameInputGivesTheSameBytes) {
  const RgbaPicture canvas = StarField();
  const ColourCounts counts = CountColours(canvas);
  const std::vector<Rgb> start = {{0, 0, 0}, {8, 9, 14}, {200, 200, 220}, {255, 255, 255}};
  const Picture8 a = MapForRate(canvas, counts, RefineForRate(counts, start, 16, 4), 16);
  const Picture8 b = MapForRate(canvas, counts, RefineForRate(counts, start, 16, 4), 16);
  EXPECT_EQ(a.pixels, b.pixels);
  ASSERT_EQ(a.palette.size(), b.palette.size());
  for (size_t i = 0; i < a.palette.size(); ++i) {
    EXPECT_EQ(a.palette[i].r, b.palette[i].r);
    EXPECT_EQ(a.palette[i].g, b.palette[i].g);
    EXPECT_EQ(a.palette[i].b, b.palette[i].b);
  }
}

// Lloyd's rounds empty an entry that starts far from every colour; without
// a rate it is given back to the colours served worst, so the palette keeps
// its size and comes closer, instead of losing an entry for nothing.
TEST(RateRefine, WithoutARateAnEmptiedEntryServesThePictureAgain) {
  RgbaPicture canvas(64, 32);
  for (int y = 0; y < canvas.height; ++y) {
    for (int x = 0; x < canvas.width; ++x) {
      uint8_t* p = canvas.Row(y) + 4 * x;
      // A grey ramp of 64 levels.
      p[0] = p[1] = p[2] = static_cast<uint8_t>(x * 4);
      p[3] = 255;
    }
  }
  const ColourCounts counts = CountColours(canvas);
  // Eight entries, one of them a red no pixel comes near.
  std::vector<Rgb> start = {{255, 0, 0}};
  for (int i = 0; i < 7; ++i) {
    const auto level = static_cast<uint8_t>(16 + i * 32);
    start.push_back({level, level, level});
  }
  const std::vector<Rgb> refined = RefineForRate(counts, start, 0, 4);
  EXPECT_EQ(refined.size(), start.size());
  for (const Rgb& c : refined) EXPECT_TRUE(c.r == c.g && c.g == c.b) << int(c.r) << "," << int(c.g) << "," << int(c.b);
  const double eight = Psnr(canvas, MapForRate(canvas, counts, refined, 0));
  std::vector<Rgb> seven(start.begin() + 1, start.end());
  const double without = Psnr(canvas, MapForRate(canvas, counts, RefineForRate(counts, seven, 0, 4), 0));
  EXPECT_GT(eight, without + 0.5);
  // With a rate, entries that cost more than they bring stay dropped.
  EXPECT_LT(RefineForRate(counts, start, 4096, 4).size(), start.size());
}

// Sizes falling with the rate, steeper for fewer bits: the search settles
// on a rate that fits, within an eighth of the least that does, and says
// when none up to the greatest fits.
TEST(LeastRate, FindsARateThatFitsCloseToTheLeast) {
  auto size_at = [](int rate, double dithering) {
    return static_cast<size_t>((300000.0 - 30000.0 * std::log2(1.0 + rate)) * (1.0 + 0.3 * dithering));
  };
  const MakeRated make = [&](int rate, double dithering) {
    Candidate c{{}, 256, dithering, size_at(rate, dithering)};
    c.rated = true;
    c.rate = rate;
    return c;
  };
  for (size_t budget : {size_t{300000}, size_t{250000}, size_t{180208}, size_t{100000}}) {
    for (double dithering : {0.0, 1.0}) {
      SCOPED_TRACE(testing::Message() << budget << " bytes, dithering " << dithering);
      int probes = 0;
      const std::optional<Candidate> found = LeastRateThatFits(budget, dithering, 16, make, probes);
      int least = 0;
      while (size_at(least, dithering) > budget && least <= 1024) ++least;
      if (least > 1024) {
        EXPECT_FALSE(found);
        continue;
      }
      ASSERT_TRUE(found);
      EXPECT_LE(found->size, budget);
      EXPECT_GE(found->rate, least);
      EXPECT_LE(found->rate, std::max(least + 1, least + least / 8 + 1));
      EXPECT_LE(probes, 12);
    }
  }
}

}  // namespace
}  // namespace kws
