// The caption fits the title-safe width or is refused: set smaller, then in
// two lines, never cut short; and on a band of its own the picture makes
// room for it. Measured on the pixels drawn.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QStringList>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "fit/import_error.h"
#include "picture/import_picture.h"
#include "picture/tv_caption.h"
#include "picture/tv_display.h"
#include "support/test_support.h"

namespace kws {
namespace {

const QSize kFrame(720, 576);

bool Lit(QRgb pixel) { return qRed(pixel) + qGreen(pixel) + qBlue(pixel) > 60; }

// The bounding box of the pixels drawn over black.
QRect DrawnBox(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (Lit(image.pixel(x, y))) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

// How many lines of text were drawn: runs of rows with drawn pixels.
int DrawnLines(const QImage& image) {
  int lines = 0;
  bool in_line = false;
  for (int y = 0; y < image.height(); ++y) {
    bool lit = false;
    for (int x = 0; x < image.width() && !lit; ++x) lit = Lit(image.pixel(x, y));
    if (lit && !in_line) ++lines;
    in_line = lit;
  }
  return lines;
}

QImage Black() {
  QImage canvas(kFrame, QImage::Format_RGB32);
  canvas.fill(Qt::black);
  return canvas;
}

TEST(Caption, FitsTheTitleSafeWidthSmallerOrInTwoLinesOrIsRefused) {
  enum class Set { kAsItIs, kSmaller, kTwoLines, kRefused };
  const struct {
    const char* text;
    Set set;
  } cases[] = {
      {"v1.2 Kestro", Set::kAsItIs},
      {"Kestro digital satellite receiver v1.2.3", Set::kSmaller},
      {"Welcome to the Kestro digital satellite receiver of the Example family, version 1.2.3", Set::kTwoLines},
      {"Welcome to the Kestro digital satellite receiver of the Example family, version 1.2.3, as set up for "
       "Jane Q. Example at her holiday home in the mountains",
       Set::kRefused},
      {"Averyveryverylongwordthatnolinebreakcanhelpwithatallwhateverthesize", Set::kRefused},
  };
  const QRect safe = SafeRect(SafeArea::kTitle, kFrame);
  for (const auto& c : cases) {
    for (const CaptionPosition position : {CaptionPosition::kBottom, CaptionPosition::kTop}) {
      SCOPED_TRACE(std::string(c.text) + (position == CaptionPosition::kTop ? " (top)" : " (bottom)"));
      const Caption caption{c.text, position, {255, 255, 255}};
      QImage canvas = Black();
      if (c.set == Set::kRefused) {
        try {
          DrawCaption(canvas, caption);
          ADD_FAILURE() << "not refused";
        } catch (const ImportError& e) {
          EXPECT_NE(std::string(e.what()).find("too long for the title-safe width"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(DrawnBox(canvas).isEmpty()) << "drawn although refused";
        continue;
      }
      const CaptionLayout layout = LayOutCaption(caption, kFrame);
      DrawCaption(canvas, caption);
      const QRect drawn = DrawnBox(canvas);
      ASSERT_FALSE(drawn.isEmpty());
      // Inside the title-safe area, and not running into its sides, where
      // the drawing is clipped: a caption cut there would touch them.
      EXPECT_TRUE(safe.contains(drawn)) << drawn.x() << "," << drawn.y() << " " << drawn.width() << "x"
                                        << drawn.height();
      EXPECT_GT(drawn.left(), safe.left());
      EXPECT_LT(drawn.right(), safe.right());
      EXPECT_TRUE(layout.box.contains(drawn));
      EXPECT_EQ(drawn.center().y() < 288, position == CaptionPosition::kTop);
      // Every word is drawn, in as many lines as the layout says.
      EXPECT_EQ(QStringList(layout.lines.begin(), layout.lines.end()).join(' '), QString(c.text));
      EXPECT_EQ(DrawnLines(canvas), static_cast<int>(layout.lines.size()));
      EXPECT_GE(layout.pixel_size, kMinCaptionPixelSize);
      switch (c.set) {
        case Set::kAsItIs:
          EXPECT_EQ(layout.pixel_size, kCaptionPixelSize);
          EXPECT_EQ(layout.lines.size(), 1u);
          break;
        case Set::kSmaller:
          EXPECT_LT(layout.pixel_size, kCaptionPixelSize);
          EXPECT_EQ(layout.lines.size(), 1u);
          break;
        default:
          EXPECT_EQ(layout.lines.size(), 2u);
      }
    }
  }
}

class CaptionBandTest : public test::ScratchDirTest {
 protected:
  // A red picture of the frame's shape on a 4:3 TV, saved as PNG.
  std::string RedPicture() {
    QImage red(768, 576, QImage::Format_RGB32);
    red.fill(QColor(220, 0, 0));
    const std::string path = Path("red.png");
    EXPECT_TRUE(red.save(QString::fromStdString(path), "PNG"));
    return path;
  }
};

bool Red(const Rgb& c) { return c.r > 150 && c.g < 80 && c.b < 80; }
bool Yellow(const Rgb& c) { return c.r > 150 && c.g > 150 && c.b < 120; }

// The boxes of the red picture's pixels and of the (yellow) caption's.
void Boxes(const Picture8& p, QRect& red, QRect& caption) {
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const Rgb c = p.palette[p.pixels[static_cast<size_t>(y) * p.width + x]];
      if (Red(c)) red |= QRect(x, y, 1, 1);
      if (Yellow(c)) caption |= QRect(x, y, 1, 1);
    }
  }
}

// On its band the caption lies below (or above) the picture, the picture made
// smaller and covering none of the band; across the picture it lies on it.
TEST_F(CaptionBandTest, PlacesTheCaptionBesideThePictureInsideTitleSafe) {
  const std::string picture = RedPicture();
  const QRect safe = SafeRect(SafeArea::kTitle, kFrame);
  for (const SafeArea area : {SafeArea::kNone, SafeArea::kAction}) {
    for (const CaptionPosition position : {CaptionPosition::kBottom, CaptionPosition::kTop}) {
      SCOPED_TRACE(SafeAreaName(area) + (position == CaptionPosition::kTop ? " top" : " bottom"));
      Caption caption{"v1.2 Kestro", position, {255, 255, 0}};
      const ImportOptions across_options{.display = Display::k4x3, .safe = area, .caption = caption};
      caption.band = true;
      const ImportOptions band_options{.display = Display::k4x3, .safe = area, .caption = caption};
      const ImportedPicture across = ImportPicture(picture, across_options);
      const ImportedPicture band = ImportPicture(picture, band_options);
      QRect red, text, red_across, text_across;
      Boxes(band.picture, red, text);
      Boxes(across.picture, red_across, text_across);
      ASSERT_FALSE(red.isEmpty());
      ASSERT_FALSE(text.isEmpty());
      EXPECT_TRUE(safe.contains(text));
      EXPECT_EQ(text, text_across);  // the caption itself stays where it was
      // Across: on the picture. On the band: clear of it, the picture smaller.
      EXPECT_TRUE(red_across.intersects(text_across));
      if (position == CaptionPosition::kBottom) {
        EXPECT_LT(red.bottom(), text.top());
      } else {
        EXPECT_GT(red.top(), text.bottom());
      }
      EXPECT_LT(red.height(), red_across.height());
      EXPECT_LT(band.report.placed_height, across.report.placed_height);
      EXPECT_LT(band.report.scale, across.report.scale);
      // Still round on the TV: the picture shrank alike in both directions.
      EXPECT_NEAR(double(red.width()) / red.height(), double(red_across.width()) / red_across.height(), 0.02);
      EXPECT_TRUE(ToQRect(PlacePicture(QSize(768, 576), false, Display::k4x3, area).area).contains(red));
    }
  }
}

// The command line refuses a caption that does not fit, on stderr or in
// the JSON document's error, and writes nothing.
TEST_F(CaptionBandTest, CommandLineRefusesACaptionThatDoesNotFit) {
  const std::string picture = RedPicture();
  const std::string too_long(200, 'x');
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json ? "--json" : "plain");
    std::ostringstream out, err;
    std::vector<std::string> args = {"--home",        Path("home"), "import", picture,
                                     Path("out.bmp"), "--caption",  too_long, "--caption-band"};
    if (json) args.push_back("--json");
    EXPECT_EQ(RunCli(args, out, err), 1);
    const std::string said = json ? out.str() : err.str();
    EXPECT_NE(said.find("The caption is too long for the title-safe width"), std::string::npos) << said;
    if (json) {
      EXPECT_NE(said.find("\"error\": \"The caption is too long"), std::string::npos) << said;
    }
    EXPECT_FALSE(test::Exists(Path("out.bmp")));
  }
  std::ostringstream out, err;
  EXPECT_EQ(RunCli({"import", picture, Path("out.bmp"), "--caption-band"}, out, err), 2);
  EXPECT_NE(err.str().find("--caption-band go with --caption TEXT"), std::string::npos) << err.str();
}

// A control character in a caption would be drawn as a box, or vanish into a
// space: it is refused, named as the terminal shows it, and nothing written.
TEST_F(CaptionBandTest, ControlCharactersInACaptionAreRefused) {
  const std::string picture = RedPicture();
  const struct {
    std::string caption, named;
  } cases[] = {
      {"v1\x1b[2J", "\\x1b"},
      {"two\nlines", "\\n"},
      {"tab\there", "\\t"},
      {"csi\xc2\x9b"
       "1m",
       "\\xc2\\x9b"},
      {"del\x7f", "\\x7f"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"--home", Path("home"), "import", picture, Path("out.bmp"), "--caption", c.caption}, out, err),
              1);
    EXPECT_EQ(err.str(), "kestro-welcome-cli: The caption holds the control character " + c.named +
                             ", which no font draws; a caption is one line of plain text\n");
    EXPECT_FALSE(test::Exists(Path("out.bmp")));
  }
}

}  // namespace
}  // namespace kws
