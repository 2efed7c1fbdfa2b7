// The dithering the import takes: the rule that weighs plain PSNR against
// PSNR as seen, on judged versions, and the choice on made pictures for each
// kind a user can ask for.
#include "fit/dither_choice.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <optional>
#include <vector>

#include "fit/colour_choice.h"
#include "fit/measure.h"
#include "fit/test_canvas.h"
#include "picture/canvas.h"
#include "support/photo_like.h"

namespace kws {
namespace {

constexpr Dithered kNo = Dithered::kNone, kSel = Dithered::kSelective, kFull = Dithered::kFull;

TEST(ChooseVersion, TakesTheClosestAsSeenThatLosesNoPlainPsnrAgainstSelectiveDithering) {
  // Seen error, plain error, kind: smaller is closer.
  const std::vector<Judged> versions = {
      {900, 100, kNo},    // 0: closest in plain PSNR, far as seen
      {500, 300, kSel},   // 1: the best selective in plain PSNR: the floor
      {450, 400, kSel},   // 2: closer as seen, below the floor
      {300, 900, kFull},  // 3: closest as seen, grainy: below the floor
      {500, 250, kNo},    // 4: as close as seen as 1, closer in plain
  };
  const struct {
    const char* name;
    DitherKind kind;
    std::optional<size_t> chosen;
  } cases[] = {
      {"auto: the floor keeps full dithering out; ties go to plain PSNR", DitherKind::kAuto, 4},
      {"seen: the closest as seen however grainy", DitherKind::kSeen, 3},
      {"selective only", DitherKind::kSelective, 2},
      {"undithered only", DitherKind::kNone, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ChooseVersion(versions, c.kind), c.chosen);
  }
  // Without a selective version nothing is held against: the closest as seen.
  EXPECT_EQ(ChooseVersion({{900, 100, kNo}, {300, 900, kFull}}, DitherKind::kAuto), 1u);
  // Full dithering passes the floor when it loses no plain PSNR.
  EXPECT_EQ(ChooseVersion({{500, 300, kSel}, {300, 300, kFull}}, DitherKind::kAuto), 1u);
  // A kind with no version of its own takes nothing; the search falls back.
  EXPECT_EQ(ChooseVersion({{900, 100, kNo}}, DitherKind::kSelective), std::nullopt);
  EXPECT_EQ(ChooseVersion({}, DitherKind::kAuto), std::nullopt);
}

TEST(DitherKindWords, AreTheOptionsAndTheReportsWords) {
  for (DitherKind kind : {DitherKind::kAuto, DitherKind::kSeen, DitherKind::kSelective, DitherKind::kNone}) {
    EXPECT_EQ(ParseDitherKind(DitherKindName(kind)), kind);
  }
  EXPECT_EQ(ParseDitherKind("full"), std::nullopt);
  EXPECT_EQ(ParseDitherKind("Auto"), std::nullopt);
  EXPECT_EQ(DitheredName(kSel), "selective");
  EXPECT_EQ(DitherReason(DitherKind::kAuto, kSel, false),
            "selective dithering: closest as seen without losing plain PSNR");
  EXPECT_EQ(DitherReason(DitherKind::kSeen, kFull, false), "full dithering: closest as seen");
  EXPECT_EQ(DitherReason(DitherKind::kNone, kNo, false), "no dithering: as asked");
  EXPECT_EQ(DitherReason(DitherKind::kSelective, kNo, false),
            "no dithering: no selectively dithered version fits, so chosen as by default");
  EXPECT_EQ(DitherReason(DitherKind::kAuto, kNo, true), "no dithering: every colour kept exactly");
}

// A logo of flat shapes with soft edges: hundreds of colours, nearly all of
// its pixels in a few of them.
RgbaPicture FlatLogo() {
  return Canvas(720, 576, [](int x, int y) {
    const double dx = x - 360, dy = y - 288;
    const double r = std::sqrt(dx * dx + dy * dy);
    const double edge = std::clamp((200.0 - r) / 6.0, 0.0, 1.0);  // a soft-edged disc
    const double bar = std::clamp((std::abs(dy) < 40 ? 1.0 : 0.0) * (x > 100 && x < 620 ? 1.0 : 0.0), 0.0, 1.0);
    const double band = std::clamp((x - 60) / 600.0, 0.0, 1.0);  // the bar's own colour runs across
    const double red = 20 + 200 * edge * (1 - bar) + bar * (40 + 150 * band);
    const double green = 30 + 120 * edge * (1 - bar) + bar * (200 - 100 * band);
    const double blue = 90 + 40 * edge + bar * 60;
    return Rgb{static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(std::min(blue, 255.0))};
  });
}

RgbaPicture Gradient() {
  return Canvas(720, 576, [](int x, int y) {
    return Rgb{static_cast<uint8_t>(16 + x * 200 / 719), static_cast<uint8_t>(32 + y * 160 / 575),
               static_cast<uint8_t>(200 - x / 8)};
  });
}

struct Chosen {
  Candidate version;
  double psnr = 0;
  uint64_t seen_error = 0;
};

Chosen Choose(const RgbaPicture& canvas, DitherKind kind, bool fit = true) {
  const ColourChoice choice = ChooseColors(canvas, {.fit = fit, .by_seen = true, .dither = kind});
  EXPECT_TRUE(choice.chosen);
  if (!choice.chosen) return {};
  if (fit) {
    EXPECT_LE(choice.chosen->size, welcome::kMaxDataLength);
  }
  return {*choice.chosen, Psnr(canvas, choice.chosen->picture), SeenError(canvas, choice.chosen->picture)};
}

TEST(DitherChoice, EachKindOnMadePictures) {
  const RgbaPicture logo = FlatLogo(), gradient = Gradient();
  const RgbaPicture grain = ToRgba(MakePhotoLike({.grain = 6.0, .seed = 6}));
  const struct {
    const char* name;
    const RgbaPicture& canvas;
    DitherKind kind;
    std::vector<Dithered> allowed;
  } cases[] = {
      {"flat logo: never fully dithered", logo, DitherKind::kAuto, {kNo, kSel}},
      {"smooth gradient: dithered", gradient, DitherKind::kAuto, {kSel, kFull}},
      {"grainy photo: any kind", grain, DitherKind::kAuto, {kNo, kSel, kFull}},
      {"grainy photo, selective", grain, DitherKind::kSelective, {kSel}},
      {"grainy photo, none", grain, DitherKind::kNone, {kNo}},
      {"gradient, none", gradient, DitherKind::kNone, {kNo}},
      {"grainy photo, seen: never selective", grain, DitherKind::kSeen, {kNo, kFull}},
      {"logo, seen", logo, DitherKind::kSeen, {kNo, kFull}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Chosen chosen = Choose(c.canvas, c.kind);
    EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), DitheredOf(chosen.version)), c.allowed.end())
        << DitheredName(DitheredOf(chosen.version));
  }
}

TEST(DitherChoice, TheDefaultKeepsThePlainPsnrOfSelectiveDitheringAndSeenTheLookAsSeen) {
  for (const RgbaPicture& canvas : {ToRgba(MakePhotoLike({.grain = 6.0, .seed = 6})), Gradient(), FlatLogo()}) {
    const Chosen by_default = Choose(canvas, DitherKind::kAuto);
    const Chosen selective = Choose(canvas, DitherKind::kSelective);
    const Chosen seen = Choose(canvas, DitherKind::kSeen);
    // The selective version taken is at most as close in plain PSNR as the
    // best selective one, the floor of the default.
    EXPECT_GE(by_default.psnr, selective.psnr - 1e-9);
    EXPECT_LE(seen.seen_error, by_default.seen_error);
  }
}

TEST(DitherChoice, WithoutFittingTheKindStillHasItsSay) {
  const RgbaPicture grain = ToRgba(MakePhotoLike({.grain = 6.0, .seed = 6}));
  const struct {
    DitherKind kind;
    std::vector<Dithered> allowed;
  } cases[] = {
      {DitherKind::kSeen, {kFull}},  // as before there was a choice: every colour fully dithered
      {DitherKind::kSelective, {kSel}},
      {DitherKind::kNone, {kNo}},
      {DitherKind::kAuto, {kNo, kSel, kFull}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(DitherKindName(c.kind));
    const Chosen chosen = Choose(grain, c.kind, false);
    EXPECT_GT(chosen.version.size, welcome::kMaxDataLength);  // too big, and kept so
    EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), DitheredOf(chosen.version)), c.allowed.end());
  }
}

TEST(DitherChoice, APictureWhoseColoursAllFitIsKeptExactlyWhateverTheKind) {
  const RgbaPicture few = Canvas(720, 576, [](int x, int y) {
    return Rgb{static_cast<uint8_t>(x / 90 * 30), static_cast<uint8_t>(y / 96 * 40), 80};
  });
  for (DitherKind kind : {DitherKind::kAuto, DitherKind::kSeen, DitherKind::kSelective, DitherKind::kNone}) {
    SCOPED_TRACE(DitherKindName(kind));
    const ColourChoice choice = ChooseColors(few, {.by_seen = true, .dither = kind});
    ASSERT_TRUE(choice.chosen);
    EXPECT_TRUE(choice.exact);
    EXPECT_EQ(SquaredError(few, choice.chosen->picture), 0u);
    EXPECT_EQ(DitheredOf(*choice.chosen), kNo);
  }
}

}  // namespace
}  // namespace kws
