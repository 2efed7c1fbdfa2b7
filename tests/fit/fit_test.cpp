// The fit search on modelled sizes: which version it chooses and how few it
// has to make. No pictures are quantised here.
#include "fit/fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>

namespace kws {
namespace {

// Sizes as a quantised photo's: growing with the fourth root of the colour
// count, and with the dithering.
struct SizeModel {
  double per_root = 60000;  // bytes per unit of the count's fourth root
  double dithered = 0.3;    // full dithering adds this share
  int full_colors = 256;
  int wobble = 0;  // bytes added to every other count, to break monotony

  size_t operator()(int colors, double dithering) const {
    const double base = per_root * (std::pow(colors, 0.25) - 1.0) + 500;
    const double wobbled = base + ((colors % 2) ? wobble : 0);
    return static_cast<size_t>(wobbled * (1.0 + dithered * dithering));
  }
};

class FitSearch : public ::testing::Test {
 protected:
  FitOutcome Search(const SizeModel& model, size_t budget) {
    made_.clear();
    return SearchFit(model.full_colors, budget, [&](int colors, double dithering) {
      made_.emplace_back(colors, dithering);
      return Candidate{{}, colors, dithering, model(colors, dithering)};
    });
  }
  std::vector<std::pair<int, double>> made_;
};

TEST_F(FitSearch, APictureThatFitsIsTakenWithFullDithering) {
  const SizeModel model;
  const FitOutcome outcome = Search(model, model(256, 1.0));
  ASSERT_TRUE(outcome.chosen);
  EXPECT_EQ(outcome.chosen->colors, 256);
  EXPECT_EQ(outcome.chosen->dithering, 1.0);
  EXPECT_EQ(outcome.probes, 1);
  EXPECT_EQ(outcome.first_size, model(256, 1.0));
}

TEST_F(FitSearch, LessDitheringComesBeforeFewerColours) {
  const SizeModel model;
  for (double level : kDitherLevels) {
    SCOPED_TRACE(level);
    const FitOutcome outcome = Search(model, model(256, level));
    ASSERT_TRUE(outcome.chosen);
    EXPECT_EQ(outcome.chosen->colors, 256);
    EXPECT_EQ(outcome.chosen->dithering, level);
    // Full, none, then a bisection of the seven levels in between.
    EXPECT_LE(outcome.probes, 5);
  }
}

TEST_F(FitSearch, FewerColoursAreTheMostThatFitWithoutDithering) {
  const struct {
    const char* name;
    SizeModel model;
    int slack;  // colours the search may miss where sizes do not grow steadily
  } models[] = {
      {"steady", {}, 0},
      {"steep", {.per_root = 150000}, 0},
      {"wobbling", {.wobble = 900}, 4},
      {"small palette", {.full_colors = 90}, 0},
  };
  for (const auto& m : models) {
    for (int target : {255, 200, 129, 64, 17, 3, 2}) {
      if (target >= m.model.full_colors) continue;
      SCOPED_TRACE(std::string(m.name) + ", budget of " + std::to_string(target) + " colours");
      const size_t budget = m.model(target, 0.0);
      if (m.model(m.model.full_colors, 0.0) <= budget) continue;  // a wobble made the full palette fit
      const FitOutcome outcome = Search(m.model, budget);
      ASSERT_TRUE(outcome.chosen);
      EXPECT_EQ(outcome.chosen->dithering, 0.0);
      EXPECT_LE(outcome.chosen->size, budget);
      // The most colours that fit, and so the next count up does not.
      int most = target;
      while (most + 1 < m.model.full_colors && m.model(most + 1, 0.0) <= budget) ++most;
      EXPECT_LE(outcome.chosen->colors, most);
      EXPECT_GE(outcome.chosen->colors, most - m.slack);
      EXPECT_LE(outcome.probes, 2 + 12);
      for (const auto& [colors, dithering] : made_) {
        if (colors < m.model.full_colors) {
          EXPECT_EQ(dithering, 0.0);
        }
      }
    }
  }
}

TEST_F(FitSearch, NothingFitsWhenTwoColoursAreTooBig) {
  const SizeModel model;
  const FitOutcome outcome = Search(model, model(2, 0.0) - 1);
  EXPECT_FALSE(outcome.chosen);
  EXPECT_EQ(outcome.smallest_size, model(2, 0.0));
  EXPECT_EQ(made_.back(), std::make_pair(2, 0.0));
}

TEST(GuessColors, StaysStrictlyInsideTheRange) {
  const struct {
    int lo;
    double excess_lo;
    int hi;
    double excess_hi;
  } cases[] = {
      {1, -180000, 256, 70000}, {1, -180000, 256, 1}, {1, -1, 256, 70000}, {100, -5, 102, 5}, {1, 0, 3, 0},
  };
  for (const auto& c : cases) {
    const int guess = GuessColors(c.lo, c.excess_lo, c.hi, c.excess_hi);
    EXPECT_GT(guess, c.lo);
    EXPECT_LT(guess, c.hi);
  }
  // A budget just below the full palette's size is looked for near the top.
  EXPECT_GE(GuessColors(1, -180000, 256, 1000), 240);
}

}  // namespace
}  // namespace kws
