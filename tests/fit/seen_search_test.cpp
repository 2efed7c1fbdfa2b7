// PSNR as seen on tiny known pictures, and the search ranked by it on
// modelled sizes, where the size jumps with the colour count.
#include "fit/seen_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <tuple>

#include "fit/measure.h"
#include "fit/test_canvas.h"

namespace kws {
namespace {

Picture8 Flat(int w, int h, Rgb colour) {
  Picture8 picture;
  picture.width = w;
  picture.height = h;
  picture.palette = {colour};
  picture.pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
  return picture;
}

TEST(PsnrAsSeen, BlursBothPicturesBeforeComparing) {
  const Rgb grey{100, 100, 100};
  const RgbaPicture flat = Canvas(16, 12, [&](int, int) { return grey; });
  // Equal pictures: no error, as plain PSNR.
  EXPECT_EQ(SeenError(flat, Flat(16, 12, grey)), 0u);
  EXPECT_TRUE(std::isinf(PsnrAsSeen(flat, Flat(16, 12, grey))));
  // A flat picture one level off everywhere stays one level off when
  // blurred: both figures are 20 log10(255) = 48.13 dB.
  const Picture8 off = Flat(16, 12, {101, 101, 101});
  EXPECT_NEAR(Psnr(flat, off), 48.13, 0.01);
  EXPECT_NEAR(PsnrAsSeen(flat, off), 48.13, 0.01);
  // A fine checkerboard of 90 and 110 against its grey: 10 levels off in
  // every sample, yet blurred it is next to grey.
  const RgbaPicture board = Canvas(16, 12, [](int x, int y) {
    const uint8_t v = (x + y) % 2 ? 110 : 90;
    return Rgb{v, v, v};
  });
  EXPECT_NEAR(Psnr(board, Flat(16, 12, grey)), 28.13, 0.01);
  EXPECT_GT(PsnrAsSeen(board, Flat(16, 12, grey)), 40.0);
  // Banding is not averaged out: half the picture 10 levels off stays far.
  const RgbaPicture halves = Canvas(16, 12, [](int x, int) {
    return Rgb{static_cast<uint8_t>(x < 8 ? 90 : 100), 100, 100};
  });
  EXPECT_LT(PsnrAsSeen(halves, Flat(16, 12, grey)), Psnr(halves, Flat(16, 12, grey)) + 0.5);
}

// Sizes that jump: as a noisy background does when one more colour splits
// it. Dithering adds a share; a model of the look: more colours and more
// dithering come closer as seen.
struct JumpingSizes {
  size_t operator()(int colors, double dithering) const {
    double size = 2000.0 * colors;
    if (colors >= 64 && colors < 160) size += 400000;  // the split background
    return static_cast<size_t>(size * (1.0 + 0.2 * dithering));
  }
};

class SeenSearch : public ::testing::Test {
 protected:
  SeenOutcome Search(size_t budget) {
    const MakeVersion make = [&](const Recipe& r) {
      ++made_[{r.colors, r.dithering, r.selective}];
      return Candidate{{}, r.colors, r.dithering, sizes_(r.colors, r.dithering)};
    };
    const SeenErrorOf seen = [](const Candidate& c) {
      return static_cast<uint64_t>(1e9 / c.colors / (1.0 + c.dithering));
    };
    return SearchBySeen(256, budget, make, seen);
  }
  JumpingSizes sizes_;
  std::map<std::tuple<int, double, bool>, int> made_;
};

TEST_F(SeenSearch, FindsTheMostColoursThatFitAboveAJumpInSize) {
  // 63 colours fit, 64 to 159 do not, 160 to 225 do again undithered.
  const SeenOutcome outcome = Search(450000);
  ASSERT_TRUE(outcome.chosen);
  EXPECT_LE(outcome.chosen->size, 450000u);
  EXPECT_GE(outcome.chosen->colors, 160);
  for (const auto& [recipe, times] : made_) EXPECT_EQ(times, 1) << std::get<0>(recipe) << " made more than once";
}

TEST_F(SeenSearch, EveryVersionReturnedFitsAndNothingWhenNothingDoes) {
  for (size_t budget : {size_t{50000}, size_t{126000}, size_t{130000}, size_t{600000}}) {
    SCOPED_TRACE(budget);
    const SeenOutcome outcome = Search(budget);
    ASSERT_TRUE(outcome.chosen);
    EXPECT_LE(outcome.chosen->size, budget);
    // The model's best: the most colours, and dithering where it fits.
    EXPECT_EQ(sizes_(outcome.chosen->colors, outcome.chosen->dithering), outcome.chosen->size);
  }
  EXPECT_FALSE(Search(3999).chosen);  // two colours take 4,000 bytes
}

TEST_F(SeenSearch, ChoosesDitheringWhereItLooksCloserAndFits) {
  // Everything fits: full dithering of the full palette is closest.
  SeenOutcome outcome = Search(10000000);
  ASSERT_TRUE(outcome.chosen);
  EXPECT_EQ(outcome.chosen->colors, 256);
  EXPECT_EQ(outcome.chosen->dithering, 1.0);
  // 40 colours fit undithered, 33 fully dithered: by the model's look,
  // 33 x 2 beats 40 x 1 as seen.
  outcome = Search(80000);
  ASSERT_TRUE(outcome.chosen);
  EXPECT_EQ(outcome.chosen->dithering, 1.0);
  EXPECT_EQ(outcome.chosen->colors, 33);
}

// Versions whose palette is chosen for a rate: fewer colours the higher the
// rate, more bytes the more dithering. In this model half dithering comes
// closest as seen, as on a picture whose fine detail full dithering blurs.
TEST(SeenSearchRated, MeasuresHalfDitheringWhereFullDitheringFitsAndTakesItWhenCloser) {
  const auto colours_at = [](int rate) { return std::max(2, 256 * 16 / (16 + rate)); };
  const auto size_of = [](int colors, double dithering) {
    return static_cast<size_t>(1000.0 * colors * (1.0 + 0.5 * dithering));
  };
  const MakeVersion make = [&](const Recipe& r) {
    return Candidate{{}, r.colors, r.dithering, size_of(r.colors, r.dithering)};
  };
  const MakeRated rated = [&](int rate, double dithering) {
    Candidate c{{}, colours_at(rate), dithering, size_of(colours_at(rate), dithering)};
    c.rated = true;
    c.rate = rate;
    return c;
  };
  const SeenErrorOf seen = [](const Candidate& c) {
    const double look = c.dithering == 0.5 ? 0.4 : c.dithering == 1.0 ? 0.6 : 1.0;
    return static_cast<uint64_t>(1e9 / c.colors * look);
  };
  for (size_t budget : {size_t{10000000}, size_t{200000}, size_t{90000}}) {
    SCOPED_TRACE(budget);
    const SeenOutcome outcome = SearchBySeen(256, budget, make, seen, {}, rated);
    ASSERT_TRUE(outcome.chosen);
    EXPECT_LE(outcome.chosen->size, budget);
    EXPECT_EQ(outcome.chosen->dithering, 0.5);
  }
}

}  // namespace
}  // namespace kws

namespace kws {
namespace {

// Versions whose palette is chosen for a rate, of each kind of dithering:
// selective dithering costs bytes between none and full, comes closer as
// seen than none and loses less plain PSNR than full. The default takes the
// selective version (full dithering, closer as seen, loses plain PSNR
// against it); seen takes full dithering; each kind asked for its own.
TEST(SeenSearchRated, EachKindTakesItsVersionAndTheDefaultHoldsThePlainPsnrOfSelectiveDithering) {
  const auto colours_at = [](int rate) { return std::max(2, 256 * 16 / (16 + rate)); };
  const auto cost = [](const Candidate& c) {
    return c.dithering == 0 ? 1.0 : c.selective ? 1.2 : 1.0 + c.dithering / 2;
  };
  const auto made = [&](int rate, double dithering, bool selective) {
    Candidate c{{}, colours_at(rate), dithering, 0, true, rate, selective};
    c.size = static_cast<size_t>(1000.0 * c.colors * cost(c));
    return c;
  };
  const MakeVersion make = [&](const Recipe& r) {
    Candidate c{{}, r.colors, r.dithering, 0, false, 0, r.selective};
    c.size = static_cast<size_t>(1000.0 * c.colors * cost(c));
    return c;
  };
  const MakeRated rated = [&](int rate, double dithering) { return made(rate, dithering, false); };
  const MakeAtRate selective = [&](int rate) { return made(rate, 1.0, true); };
  const auto weigh = [](const Candidate& c, double none, double sel, double full) {
    const double w = c.dithering == 0 ? none : c.selective ? sel : full;
    return static_cast<uint64_t>(1e9 / c.colors * w);
  };
  const SeenErrorOf seen = [&](const Candidate& c) { return weigh(c, 1.0, 0.7, 0.5); };
  const PlainErrorOf plain = [&](const Candidate& c) { return weigh(c, 1.0, 1.3, 1.6); };
  const struct {
    DitherKind kind;
    Dithered chosen;
  } cases[] = {
      {DitherKind::kAuto, Dithered::kSelective},
      {DitherKind::kSeen, Dithered::kFull},
      {DitherKind::kSelective, Dithered::kSelective},
      {DitherKind::kNone, Dithered::kNone},
  };
  for (size_t budget : {size_t{10000000}, size_t{90000}}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(DitherKindName(c.kind) + " within " + std::to_string(budget));
      const SeenOutcome outcome = SearchBySeen(256, budget, make, seen, {}, rated, {c.kind, plain, selective});
      ASSERT_TRUE(outcome.chosen);
      EXPECT_LE(outcome.chosen->size, budget);
      EXPECT_EQ(DitheredOf(*outcome.chosen), c.chosen);
    }
  }
}

// Full dithering is searched for under the default only when, in the best
// selective version's palette, it loses no plain PSNR against it; seen
// searches for it whatever it loses.
TEST(SeenSearchRated, TheDefaultMakesNoFullyDitheredVersionThatCouldNotBeTaken) {
  const auto colours_at = [](int rate) { return std::max(2, 256 * 16 / (16 + rate)); };
  int fully_made = 0;
  const auto made = [&](int rate, double dithering, bool selective) {
    if (dithering > 0 && !selective) ++fully_made;
    Candidate c{{}, colours_at(rate), dithering, 0, true, rate, selective};
    c.size = static_cast<size_t>(1000.0 * c.colors * (dithering == 0 ? 1.0 : selective ? 1.2 : 1.5));
    return c;
  };
  const MakeVersion make = [&](const Recipe& r) { return made(0, r.dithering, r.selective); };
  const MakeRated rated = [&](int rate, double dithering) { return made(rate, dithering, false); };
  const MakeAtRate selective = [&](int rate) { return made(rate, 1.0, true); };
  const auto error = [](int colours) { return uint64_t{1000} - static_cast<uint64_t>(colours); };
  const SeenErrorOf seen = [&](const Candidate& c) { return error(c.colors); };
  const PlainErrorOf plain = [&](const Candidate& c) { return error(c.colors); };
  const struct {
    DitherKind kind;
    uint64_t loss;  // full dithering's plain error above the selective version's, in its palette
    bool fully;
  } cases[] = {
      {DitherKind::kAuto, 1, false},
      {DitherKind::kAuto, 0, true},
      {DitherKind::kSeen, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(DitherKindName(c.kind) + ", loss " + std::to_string(c.loss));
    fully_made = 0;
    const PlainErrorAt full_at = [&](int rate, double) { return error(colours_at(rate)) + c.loss; };
    const SeenOutcome outcome = SearchBySeen(256, 150000, make, seen, {}, rated, {c.kind, plain, selective, full_at});
    ASSERT_TRUE(outcome.chosen);
    // The first version, every colour fully dithered, is made whatever the kind.
    EXPECT_EQ(fully_made > 1, c.fully);
  }
}

}  // namespace
}  // namespace kws
