// Our own error diffusion: exact where the palette holds the colour, the
// right mix where it does not, and closer as seen than libimagequant's on
// random noise, where that one holds back the error it carries.
#include "fit/error_diffusion.h"

#include <gtest/gtest.h>

#include <random>

#include "fit/measure.h"
#include "fit/quantizer.h"
#include "fit/test_canvas.h"

namespace kws {
namespace {

RgbaPicture Flat(int width, int height, Rgb c) {
  return Canvas(width, height, [c](int, int) { return c; });
}

int Share(const Picture8& picture, uint8_t entry) {
  int n = 0;
  for (uint8_t index : picture.pixels) n += index == entry ? 1 : 0;
  return n * 1000 / static_cast<int>(picture.pixels.size());
}

TEST(DiffuseErrors, MixesTheEntriesAroundAColourInItsProportions) {
  const std::vector<Rgb> black_white = {{0, 0, 0}, {255, 255, 255}};
  struct Case {
    uint8_t grey;
    int white_per_mille;
  };
  for (const Case& c : {Case{0, 0}, Case{255, 1000}, Case{64, 251}, Case{128, 502}, Case{191, 749}}) {
    SCOPED_TRACE(int(c.grey));
    const RgbaPicture canvas = Flat(96, 64, {c.grey, c.grey, c.grey});
    const Picture8 mapped = DiffuseErrors(canvas, black_white);
    ASSERT_EQ(mapped.pixels.size(), 96u * 64u);
    EXPECT_NEAR(Share(mapped, 1), c.white_per_mille, 6);
    // Fine enough for the eye: as seen, close to the grey.
    if (c.grey != 0 && c.grey != 255) {
      EXPECT_GT(PsnrAsSeen(canvas, mapped), 20.0);
    }
  }
  // A colour the palette holds is kept exactly, whatever else it holds.
  const RgbaPicture teal = Flat(32, 16, {0, 128, 128});
  const Picture8 kept = DiffuseErrors(teal, {{255, 0, 0}, {0, 128, 128}, {0, 0, 0}});
  EXPECT_EQ(Share(kept, 1), 1000);
  EXPECT_EQ(DiffuseErrors(teal, {{255, 0, 0}, {0, 128, 128}}).pixels, kept.pixels);
}

TEST(DiffuseErrors, ComesCloserAsSeenThanLibimagequantOnNoiseAndTheSameEachTime) {
  RgbaPicture noise(180, 144);
  std::mt19937 random(11);
  for (uint8_t& byte : noise.rgba) byte = static_cast<uint8_t>(random());
  for (size_t i = 3; i < noise.rgba.size(); i += 4) noise.rgba[i] = 255;
  Quantizer quantizer(noise);
  const std::vector<Rgb> palette = quantizer.Reduce(8).palette;
  const Picture8 ours = DiffuseErrors(noise, palette);
  EXPECT_GT(PsnrAsSeen(noise, ours), PsnrAsSeen(noise, quantizer.Map(palette, 1.0)) + 0.3);
  EXPECT_EQ(DiffuseErrors(noise, palette).pixels, ours.pixels);
}

}  // namespace
}  // namespace kws
