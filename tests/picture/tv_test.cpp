// The picture as the TV shows it: placement for a display and a safe area,
// the TV preview and its guides, the test card, and the warnings for a TV.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "fit/tv_test_card.h"
#include "picture/canvas.h"
#include "picture/import_picture.h"
#include "picture/tv_caption.h"
#include "picture/tv_checks.h"
#include "picture/tv_display.h"
#include "picture/tv_preview.h"
#include "support/photo_like.h"
#include "support/test_support.h"

namespace kws {
namespace {

class TvTest : public test::ScratchDirTest {
 protected:
  std::string Save(const QImage& image, const std::string& name) {
    const std::string path = Path(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
    return path;
  }
};

Rgb ColorAt(const Picture8& p, int x, int y) { return p.palette[p.pixels[static_cast<size_t>(y) * p.width + x]]; }
bool Bright(const Rgb& c) { return c.r > 128 && c.g > 128 && c.b > 128; }

// The bounding box of the bright pixels.
QRect BrightBox(const Picture8& p) {
  QRect box;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      if (Bright(ColorAt(p, x, y))) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

QImage Disc(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawEllipse(QRectF(0, 0, width, height));
  return image;
}

TEST(TvDisplay, PlacesEachShapeSoThatItKeepsItsProportionsOnTheDisplay) {
  const struct {
    QSize source;
    Display display;
    QSize placed;
  } cases[] = {
      {{1024, 768}, Display::k4x3, {720, 576}},     {{1024, 768}, Display::k16x9, {540, 576}},
      {{1024, 768}, Display::kSquare, {720, 540}},  {{512, 512}, Display::k4x3, {540, 576}},
      {{512, 512}, Display::k16x9, {405, 576}},     {{512, 512}, Display::kSquare, {576, 576}},
      {{768, 576}, Display::k4x3, {720, 576}},      {{768, 576}, Display::kSquare, {720, 540}},
      {{1024, 576}, Display::k16x9, {720, 576}},    {{1024, 576}, Display::k4x3, {720, 432}},
      {{1920, 1080}, Display::k16x9, {720, 576}},   {{1920, 1080}, Display::k4x3, {720, 432}},
      {{1920, 1080}, Display::kSquare, {720, 405}}, {{720, 576}, Display::k4x3, {720, 576}},
      {{720, 576}, Display::k16x9, {720, 576}},     {{720, 576}, Display::kSquare, {720, 576}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.source.width()) + "x" + std::to_string(c.source.height()) + " on " +
                 DisplayName(c.display));
    const Placement placement = PlacePicture(c.source, false, c.display, SafeArea::kNone);
    EXPECT_EQ(ToQSize(placement.size), c.placed);
    EXPECT_EQ(ToQRect(placement.area), QRect(0, 0, 720, 576));
    // Square pixels are today's placement, for every size.
    if (c.display == Display::kSquare) {
      EXPECT_EQ(ToQSize(placement.size), PlacedSize(c.source, false));
    }
  }
  // Filling covers the frame on the display and crops the rest.
  EXPECT_EQ(ToQSize(PlacePicture(QSize(1024, 576), true, Display::k4x3, SafeArea::kNone).size), QSize(960, 576));
  EXPECT_EQ(ToQSize(PlacePicture(QSize(512, 512), true, Display::k16x9, SafeArea::kNone).size), QSize(720, 1024));
}

TEST_F(TvTest, ACircleStaysRoundOnTheDisplayItWasImportedFor) {
  const std::string disc = Save(Disc(512, 512), "disc.png");
  for (const Display display : {Display::k4x3, Display::k16x9, Display::kSquare}) {
    SCOPED_TRACE(DisplayName(display));
    const ImportedPicture imported = ImportPicture(disc, {.display = display});
    const QRect box = BrightBox(imported.picture);
    EXPECT_NEAR(box.width() * PixelAspect(display), box.height(), 1.5) << box.width() << " x " << box.height();
    EXPECT_EQ(box.center().x(), 359);
  }
}

TEST(TvDisplay, ParsesTheNamesItPrints) {
  for (const Display d : {Display::k4x3, Display::k16x9, Display::kSquare}) EXPECT_EQ(ParseDisplay(DisplayName(d)), d);
  for (const SafeArea a : {SafeArea::kAction, SafeArea::kTitle, SafeArea::kNone}) {
    EXPECT_EQ(ParseSafeArea(SafeAreaName(a)), a);
  }
  EXPECT_EQ(ParseDisplay("4/3"), std::nullopt);
  EXPECT_EQ(ParseSafeArea("Title"), std::nullopt);
  EXPECT_EQ(SafeRect(SafeArea::kAction, QSize(720, 576)), QRect(36, 29, 648, 518));
  EXPECT_EQ(SafeRect(SafeArea::kTitle, QSize(720, 576)), QRect(72, 57, 576, 461));
}

// Fitted or filling, with either safe area and any display, the picture lies
// within the safe area, centred, and only background is outside it.
TEST_F(TvTest, SafeAreaHoldsThePictureAndNothingElse) {
  QImage red(1024, 768, QImage::Format_RGB32);
  red.fill(QColor(220, 30, 30));
  const std::string path = Save(red, "red.png");
  for (const SafeArea safe : {SafeArea::kAction, SafeArea::kTitle}) {
    for (const bool fill : {false, true}) {
      for (const Display display : {Display::k4x3, Display::k16x9}) {
        SCOPED_TRACE(SafeAreaName(safe) + (fill ? " fill " : " fit ") + DisplayName(display));
        const ImportedPicture imported =
            ImportPicture(path, {.background = {0, 0, 255}, .fill = fill, .display = display, .safe = safe});
        const Picture8& p = imported.picture;
        const QRect area = SafeRect(safe, QSize(720, 576));
        QRect placed;
        for (int y = 0; y < p.height; ++y) {
          for (int x = 0; x < p.width; ++x) {
            if (ColorAt(p, x, y) != Rgb{0, 0, 255}) placed |= QRect(x, y, 1, 1);
          }
        }
        EXPECT_TRUE(area.contains(placed))
            << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
        EXPECT_NEAR(placed.center().x(), area.center().x(), 1);
        EXPECT_NEAR(placed.center().y(), area.center().y(), 1);
        if (fill) {
          EXPECT_EQ(placed, area);
        }
      }
    }
  }
}

TEST(TvPreview, HasTheDisplaysSizeAndDrawsTheGuidesWhereTheSafeAreasAre) {
  const Picture8 card = MakeTestCard();
  const struct {
    Display display;
    double overscan;
    QSize size;
  } cases[] = {
      {Display::k4x3, 0, {768, 576}}, {Display::k16x9, 0, {1024, 576}},  {Display::kSquare, 0, {720, 576}},
      {Display::k4x3, 5, {768, 576}}, {Display::k16x9, 10, {1024, 576}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(DisplayName(c.display) + " overscan " + std::to_string(c.overscan));
    TvPreviewOptions options{.display = c.display, .guides = false, .overscan_percent = c.overscan};
    EXPECT_EQ(RenderTvPreview(card, options).size(), c.size);
    options.guides = true;
    const QImage guided = RenderTvPreview(card, options);
    for (const auto& [area, color, share] :
         {std::tuple{SafeArea::kAction, kActionGuideColor, 0.9}, {SafeArea::kTitle, kTitleGuideColor, 0.8}}) {
      const QRect r = GuideRect(area, options);
      // The safe area's share of what the TV still shows, centred.
      const double shown = 1 - c.overscan / 100;
      EXPECT_NEAR(r.width(), c.size.width() * share / shown, 1.5);
      EXPECT_NEAR(r.height(), c.size.height() * share / shown, 1.5);
      EXPECT_NEAR(r.center().x(), (c.size.width() - 1) / 2.0, 1);
      for (const QPoint& p : {QPoint(r.left(), r.center().y()), QPoint(r.right(), r.center().y() + 20),
                              QPoint(r.center().x() + 10, r.top()), QPoint(r.center().x() - 10, r.bottom())}) {
        EXPECT_EQ(QColor(guided.pixel(p)), color) << p.x() << "," << p.y();
      }
    }
  }
  // An overscan of 10 % leaves exactly the action-safe area: its guide is the edge.
  EXPECT_EQ(GuideRect(SafeArea::kAction, {.display = Display::k4x3, .overscan_percent = 10}), QRect(0, 0, 768, 576));
}

TEST(TvPreview, PixelsWithoutGuidesIsThePictureItself) {
  const Picture8 card = MakeTestCard();
  const QImage preview = RenderTvPreview(card, {.display = Display::kSquare});
  EXPECT_EQ(preview, Picture8Image(card));
  // Shown on a 4:3 TV, the card's middle row stretches by 16:15.
  const QImage tv = RenderTvPreview(card, {.display = Display::k4x3});
  EXPECT_EQ(tv.pixel(384, 288), preview.pixel(360, 288));
}

TEST(TestCard, FitsHasNoThinLinesAndItsCircleIsRoundOnA43Tv) {
  const Picture8 card = MakeTestCard();
  EXPECT_EQ(card.width, 720);
  EXPECT_EQ(card.height, 576);
  EXPECT_LE(card.palette.size(), 256u);
  EXPECT_LE(WelcomeDataSize(card), welcome::kMaxDataLength);
  const TvMeasures m = MeasureForTv(Picture8Image(card));
  EXPECT_LT(m.thin_lines, 0.0001);
  EXPECT_EQ(m.white, 0.0);
  // The ring: its outer edge along the middle row and column.
  const Rgb ring = ColorAt(card, 360, 288 - 192);
  int left = 0, top = 0;
  while (ColorAt(card, left, 287) != ring) ++left;
  while (ColorAt(card, 359, top) != ring) ++top;
  const double width = (720 - 2 * left) * PixelAspect(Display::k4x3), height = 576 - 2 * top;
  EXPECT_NEAR(width, height, 2.0);
}

// Each warning, with a case that gives it and one that does not.
TEST(TvWarnings, EachIsGivenWhenItsMeasureIsOverAndOnlyThen) {
  const auto frame = [](const std::function<void(QPainter&)>& draw) {
    QImage image(720, 576, QImage::Format_RGB32);
    image.fill(QColor(60, 60, 60));
    QPainter painter(&image);
    draw(painter);
    return image;
  };
  const auto stripes = [](QPainter& p, int x0, int x1, int y0, int y1) {
    for (int x = x0; x < x1; x += 4) p.fillRect(x, y0, 2, y1 - y0, QColor(220, 220, 220));
  };
  const struct {
    const char* name;
    QImage canvas;
    double scale;
    double psnr;
    SafeArea safe;
    const char* warning;  // the start of the one warning expected, or nothing
  } cases[] = {
      {"plain", frame([](QPainter&) {}), 1, 40, SafeArea::kNone, nullptr},
      {"scaled up 3.5", frame([](QPainter&) {}), 3.5, 40, SafeArea::kNone, "the picture is scaled up 3.5 times"},
      {"scaled up 3", frame([](QPainter&) {}), 3.0, 40, SafeArea::kNone, nullptr},
      {"PSNR 26", frame([](QPainter&) {}), 1, 26, SafeArea::kNone, "the colours had to be reduced a lot (PSNR 26.0"},
      {"PSNR 29", frame([](QPainter&) {}), 1, 29, SafeArea::kNone, nullptr},
      {"lines at the edge", frame([&](QPainter& p) { stripes(p, 4, 30, 200, 300); }), 1, 40, SafeArea::kNone,
       "details (edges, lines or text) lie in the outer 5 %"},
      {"lines at the edge, safe asked for", frame([&](QPainter& p) { stripes(p, 4, 30, 200, 300); }), 1, 40,
       SafeArea::kAction, nullptr},
      {"lines in the middle", frame([&](QPainter& p) { stripes(p, 200, 500, 100, 400); }), 1, 40, SafeArea::kNone,
       nullptr},
      {"one-pixel rows", frame([](QPainter& p) {
         for (int y = 100; y < 200; y += 4) p.fillRect(100, y, 500, 1, Qt::white);
       }),
       1, 40, SafeArea::kNone, "3.0 % of the picture is horizontal lines or strokes one pixel high"},
      {"two-pixel rows", frame([](QPainter& p) {
         for (int y = 100; y < 200; y += 4) p.fillRect(100, y, 500, 2, Qt::white);
       }),
       1, 40, SafeArea::kNone, nullptr},
      {"white half", frame([](QPainter& p) { p.fillRect(100, 100, 500, 300, Qt::white); }), 1, 40, SafeArea::kNone,
       "36.2 % of the frame is pure white"},
      {"white patch", frame([](QPainter& p) { p.fillRect(100, 100, 200, 150, Qt::white); }), 1, 40, SafeArea::kNone,
       nullptr},
      {"light grey half", frame([](QPainter& p) { p.fillRect(100, 100, 500, 300, QColor(224, 224, 224)); }), 1, 40,
       SafeArea::kNone, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> warnings = TvWarnings(MeasureForTv(c.canvas), c.scale, c.psnr, c.safe);
    if (!c.warning) {
      EXPECT_TRUE(warnings.empty()) << warnings.front();
    } else {
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_EQ(warnings[0].rfind(c.warning, 0), 0u) << warnings[0];
      // Each says what to do.
      EXPECT_NE(warnings[0].find("; "), std::string::npos) << warnings[0];
    }
  }
}

// The safe-area advice names the choice in each front end's words: the
// command line's (and the window's) options, or the page's Safe area menu.
TEST(TvWarnings, SafeAreaAdviceSpeaksEachFrontEndsWords) {
  QImage image(720, 576, QImage::Format_RGB32);
  image.fill(QColor(60, 60, 60));
  {
    QPainter painter(&image);
    for (int x = 4; x < 30; x += 4) painter.fillRect(x, 200, 2, 100, QColor(220, 220, 220));
  }
  const TvMeasures measures = MeasureForTv(image);
  const struct {
    AdviceWords words;
    const char* advice;
  } cases[] = {
      {AdviceWords::kCommandLine, "action-safe area (--safe action), or the title-safe area for text (--safe title)"},
      {AdviceWords::kPage,
       "action-safe area (choose Safe area: action-safe), or the title-safe area for text (choose Safe area: "
       "title-safe)"},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> warnings = TvWarnings(measures, 1, 40, SafeArea::kNone, c.words);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(c.advice), std::string::npos) << warnings[0];
    EXPECT_EQ(warnings[0].find(c.words == AdviceWords::kPage ? "--" : "choose"), std::string::npos) << warnings[0];
  }
  // Without saying whose words, the command line's: the desktop's texts stay as they were.
  EXPECT_EQ(TvWarnings(measures, 1, 40, SafeArea::kNone),
            TvWarnings(measures, 1, 40, SafeArea::kNone, AdviceWords::kCommandLine));
}

// The import gives them for a TV, names the display, and keeps today's words
// for a caller that asks for neither.
TEST_F(TvTest, ImportWarnsForATvOnlyWhenAsked) {
  QImage small(100, 75, QImage::Format_RGB32);
  small.fill(QColor(40, 120, 40));
  const std::string path = Save(small, "small.png");
  const ImportReport tv = ImportPicture(path, {.display = Display::k4x3, .for_tv = true}).report;
  ASSERT_EQ(tv.warnings.size(), 1u);
  EXPECT_EQ(tv.warnings[0].rfind("the picture is scaled up 7.7 times", 0), 0u) << tv.warnings[0];
  EXPECT_NE(DescribeReport(tv).find("\nDisplay: 4:3 TV (each pixel shows 16:15 as wide as high)\n"), std::string::npos)
      << DescribeReport(tv);
  const ImportReport plain = ImportPicture(path).report;
  EXPECT_TRUE(plain.warnings.empty());
  EXPECT_EQ(DescribeReport(plain).find("Display:"), std::string::npos);
  // The photo-like picture at 720 x 576: taken as drawn, and nothing to warn of.
  const std::string photo = Save(MakePhotoLike(), "photo.png");
  const ImportReport kept = ImportPicture(photo, {.display = Display::k16x9, .for_tv = true}).report;
  EXPECT_EQ(kept.placed_width, 720);
  EXPECT_EQ(kept.placed_height, 576);
  EXPECT_TRUE(kept.warnings.empty()) << kept.warnings.front();
}

// The command line and the window import for a TV alike: what they were
// told, the TV's words and the smoothed search; the rest as any import has it.
TEST(TvImport, OptionsCarryTheDisplayAndSafeAreaAndSpeakForATv) {
  const ImportOptions plain;
  for (const Display display : {Display::k4x3, Display::k16x9, Display::kSquare}) {
    for (const SafeArea safe : {SafeArea::kNone, SafeArea::kAction, SafeArea::kTitle}) {
      SCOPED_TRACE(DisplayName(display) + " " + SafeAreaName(safe));
      const ImportOptions tv = TvImportOptions(display, safe);
      EXPECT_EQ(tv.display, display);
      EXPECT_EQ(tv.safe, safe);
      EXPECT_TRUE(tv.for_tv);
      EXPECT_TRUE(tv.by_seen);
      EXPECT_EQ(tv.fill, plain.fill);
      EXPECT_EQ(tv.fit, plain.fit);
      EXPECT_EQ(tv.budget, plain.budget);
      EXPECT_TRUE(tv.background == plain.background);
      EXPECT_FALSE(tv.caption.has_value());
    }
  }
}

// The caption: inside the title-safe area where asked, thick enough not to
// flicker, and within the budget like the rest of the picture.
TEST_F(TvTest, CaptionLiesInsideTitleSafeAndTheBudget) {
  QImage dark(1024, 768, QImage::Format_RGB32);
  dark.fill(QColor(0, 0, 0));
  const std::string plain = Save(dark, "dark.png");
  const std::string photo = Save(MakePhotoLike({.width = 1024, .height = 768}), "photo.png");
  const struct {
    const char* text;
    CaptionPosition position;
  } cases[] = {
      {"v1.2 \u00b7 Kestro", CaptionPosition::kBottom},
      {"Owner: Jane Q. Example", CaptionPosition::kTop},
      {"A caption far too long for one line of the title-safe area, which is cut short rather than let out",
       CaptionPosition::kBottom},
  };
  const QRect safe = SafeRect(SafeArea::kTitle, QSize(720, 576));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Caption caption{c.text, c.position, {255, 255, 0}};
    const ImportedPicture imported = ImportPicture(plain, {.display = Display::k4x3, .caption = caption});
    const Picture8& p = imported.picture;
    QRect text;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        const Rgb color = ColorAt(p, x, y);
        if (color.r + color.g + color.b > 60) text |= QRect(x, y, 1, 1);
      }
    }
    ASSERT_FALSE(text.isEmpty());
    EXPECT_TRUE(safe.contains(text)) << text.x() << "," << text.y() << " " << text.width() << "x" << text.height();
    EXPECT_EQ(text.center().y() < 288, c.position == CaptionPosition::kTop);
    EXPECT_GE(text.height(), 14);
    EXPECT_LT(MeasureForTv(Picture8Image(p)).thin_lines, 0.0005);
    if (c.position == CaptionPosition::kTop) continue;
    // On a photo over the budget, the caption is fitted with the rest.
    const ImportedPicture on_photo = ImportPicture(photo, {.display = Display::k4x3, .caption = caption});
    EXPECT_TRUE(on_photo.report.Fits());
    EXPECT_EQ(on_photo.report.size, WelcomeDataSize(on_photo.picture));
  }
}

// Characters that no font here has are drawn as boxes: the import says so,
// naming them; letters the font has (accents, a middle dot) pass quietly.
TEST_F(TvTest, CaptionLettersNoFontHasAreWarnedOf) {
  QImage dark(720, 576, QImage::Format_RGB32);
  dark.fill(QColor(0, 0, 0));
  const std::string plain = Save(dark, "dark.png");
  const struct {
    const char* text;
    std::string warning;  // empty: none
  } cases[] = {
      {"v1.2 \u00b7 K\u00e9stro \u00fc", ""},
      {"v1 \ue000", "the caption's font has no letter for \ue000: it is drawn as boxes"},
      {"\ue001 v1 \ue000 \ue001", "the caption's font has no letters for \ue000 \ue001: they are drawn as boxes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Caption caption{c.text, CaptionPosition::kBottom, {255, 255, 0}};
    const std::vector<std::string> warnings =
        ImportPicture(plain, {.display = Display::k4x3, .caption = caption}).report.warnings;
    const auto said = std::find_if(warnings.begin(), warnings.end(),
                                   [](const std::string& w) { return w.find("caption's font") != std::string::npos; });
    if (c.warning.empty()) {
      EXPECT_EQ(said, warnings.end());
      continue;
    }
    ASSERT_NE(said, warnings.end());
    EXPECT_EQ(said->rfind(c.warning, 0), 0u) << *said;
  }
}

// Chosen by PSNR as seen among versions of every kind, the version fits and
// is never further from the picture as seen than the one ranked by looks
// alone.
TEST_F(TvTest, SmoothingNeverChoosesAWorseFit) {
  const std::string photo = Save(MakePhotoLike({.grain = 6.0, .seed = 7}), "photo.png");
  const ImportReport plain = ImportPicture(photo).report;
  const ImportedPicture smoothed = ImportPicture(photo, {.by_seen = true});
  EXPECT_TRUE(smoothed.report.Fits());
  EXPECT_EQ(smoothed.report.size, WelcomeDataSize(smoothed.picture));
  EXPECT_GE(smoothed.report.psnr_seen_db, plain.psnr_seen_db);
  EXPECT_GT(smoothed.report.candidates, plain.candidates);
  if (smoothed.report.smoothing > 0) {
    EXPECT_NE(DescribeReport(smoothed.report).find("smoothed lightly (1 pass)"), std::string::npos);
  }
}

}  // namespace
}  // namespace kws
