// The command line's TV options: import for a display and a safe area, the
// TV preview, and the test card through the whole chain.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "fit/bitmap_file.h"
#include "support/cli_run.h"
#include "support/test_support.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

class TvCliTest : public test::CliRunTest {
 protected:
  void SaveLogo(int width, int height, const std::string& name) {
    QImage logo(width, height, QImage::Format_RGB32);
    logo.fill(QColor(200, 40, 40));
    ASSERT_TRUE(logo.save(QString::fromStdString(Path(name))));
  }
  static QImage Load(const std::string& path) { return QImage(QString::fromStdString(path)); }
};

TEST_F(TvCliTest, UsageErrorsExitTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"import", "a.png", "b.bmp", "--display", "5:4"},
      {"import", "a.png", "b.bmp", "--safe", "half"},
      {"import", "a.png", "b.bmp", "--dither", "full"},
      {"import", "a.png", "b.bmp", "--dither"},
      {"preview", "a.bmp"},
      {"preview", "a.bmp", "b.png", "--overscan", "30"},
      {"preview", "a.bmp", "b.png", "--overscan", "five"},
      {"preview", "a.bmp", "b.png", "--display", "wide"},
      {"sample", "a.bmp", "--guides"},
      {"import", "a.png", "b.bmp", "--caption-position", "top"},
      {"import", "a.png", "b.bmp", "--caption", "v1", "--caption-position", "middle"},
      {"import", "a.png", "b.bmp", "--caption", "v1", "--caption-colour", "no-such-colour"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_EQ(Run(args), 2);
    EXPECT_NE(err_.str().find("Try 'kestro-welcome-cli --help'."), std::string::npos) << err_.str();
  }
}

// The command line makes pictures for a 4:3 TV unless told otherwise, and
// the report names the display.
TEST_F(TvCliTest, ImportIsForA43TvUnlessTold) {
  SaveLogo(1024, 768, "logo.png");
  const struct {
    std::vector<std::string> options;
    const char* picture;
    const char* display;
    std::string warning;  // on stderr, or nothing
  } cases[] = {
      {{}, "Picture: 1024 x 768, scaled to 720 x 576\n", "Display: 4:3 TV", ""},
      {{"--display", "16:9"}, "Picture: 1024 x 768, scaled to 540 x 576 and centred\n", "Display: 16:9 TV", ""},
      // Square pixels leave the picture's upper and lower edges where TVs hide them.
      {{"--display", "square"},
       "Picture: 1024 x 768, scaled to 720 x 540 and centred\n",
       "Display: square pixels",
       "kestro-welcome-cli: warning: logo.png: details (edges, lines or text) lie in the outer 5 % of the frame"},
      {{"--safe", "title"},
       "Picture: 1024 x 768, scaled to 576 x 461 and centred\n",
       "Display: 4:3 TV (each pixel shows 16:15 as wide as high), fitted into the title-safe area\n",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    // Each import writes anew: a replaced bitmap would be said on stderr.
    std::filesystem::remove(Path("logo.bmp"));
    std::vector<std::string> args = {"import", "logo.png", "logo.bmp"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(Run(args), 0) << err_.str();
    EXPECT_EQ(out_.str().rfind(c.picture, 0), 0u) << out_.str();
    EXPECT_NE(out_.str().find(c.display), std::string::npos) << out_.str();
    EXPECT_EQ(err_.str().substr(0, c.warning.size()), c.warning);
    EXPECT_EQ(err_.str().empty(), c.warning.empty()) << err_.str();
  }
  // A caption is drawn into the picture and reported like the rest of it.
  ASSERT_EQ(Run({"import", "logo.png", "caption.bmp", "--caption", "v1.2", "--caption-colour", "#ffff00", "--json"}), 0)
      << err_.str();
  EXPECT_NE(out_.str().find("\"display\": \"4:3\""), std::string::npos) << out_.str();
  const std::optional<Picture8> captioned = ReadConvertibleBitmap(Path("caption.bmp"));
  ASSERT_TRUE(captioned);
  EXPECT_NE(std::find(captioned->palette.begin(), captioned->palette.end(), Rgb{255, 255, 0}),
            captioned->palette.end());
  // A warning for a TV goes to stderr as well, and the bitmap is written.
  SaveLogo(100, 80, "tiny.png");
  ASSERT_EQ(Run({"import", "tiny.png", "tiny.bmp"}), 0);
  EXPECT_EQ(err_.str().rfind("kestro-welcome-cli: warning: tiny.png: the picture is scaled up 7.2 times", 0), 0u)
      << err_.str();
  EXPECT_TRUE(ReadConvertibleBitmap(Path("tiny.bmp")));
}

// An SVG with text imports on the command line, with a caption and in JSON
// too, though the command line has no application object of its own; a
// picture cut short is imported with a warning on stderr and in the JSON.
TEST_F(TvCliTest, SvgTextImportsAndCutShortPicturesAreWarnedOf) {
  test::WriteBytes(Path("text.svg"), test::ToBytes("<svg xmlns='http://www.w3.org/2000/svg' width='320' height='120'>"
                                                   "<text x='10' y='80' font-size='60' fill='yellow'>Kestro</text>"
                                                   "</svg>"));
  for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"--json"}, {"--caption", "v1"}}) {
    SCOPED_TRACE(testing::PrintToString(options));
    std::vector<std::string> args = {"import", "text.svg", "text.bmp", "--force"};
    args.insert(args.end(), options.begin(), options.end());
    ASSERT_EQ(Run(args), 0) << err_.str();
    const std::optional<Picture8> imported = ReadConvertibleBitmap(Path("text.bmp"));
    ASSERT_TRUE(imported);
    EXPECT_GT(imported->palette.size(), 2u);  // the letters, not just the ground
  }

  Bytes gif = test::LiteralGif(test::BandedPicture());
  gif.resize(gif.size() / 2);
  test::WriteBytes(Path("cut.gif"), gif);
  const std::string warning = "the file ends early, inside the data of its picture, so part of the picture is missing";
  ASSERT_EQ(Run({"import", "cut.gif", "cut.bmp"}), 0) << err_.str();
  EXPECT_NE(err_.str().find("kestro-welcome-cli: warning: cut.gif: " + warning), std::string::npos) << err_.str();
  ASSERT_EQ(Run({"import", "cut.gif", "cut.bmp", "--force", "--json"}), 0) << err_.str();
  EXPECT_NE(out_.str().find("\"warnings\""), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find(warning), std::string::npos) << out_.str();
}

// The test card goes through the whole chain, and its update images preview
// as the card itself does.
TEST_F(TvCliTest, TestCardMakesSoundImagesThatPreviewAsTheCard) {
  ASSERT_EQ(Run({"sample", "--test-card", Path("card.bmp")}), 0) << err_.str();
  EXPECT_EQ(out_.str(), "Test card written: " + Path("card.bmp") + "\n");
  ASSERT_EQ(Run({"--home", Home(), "make", Path("card.bmp")}), 0) << err_.str();
  const std::string usb = Home("Output/card_kestro300_usb_welcome.img");
  ASSERT_EQ(Run({"inspect", usb, Home("Output/card_kestro400_serial_welcome.img")}), 0) << err_.str();

  const struct {
    std::vector<std::string> options;
    QSize size;
  } cases[] = {
      {{}, {768, 576}},
      {{"--display", "16:9", "--guides"}, {1024, 576}},
      {{"--display", "square"}, {720, 576}},
      {{"--overscan", "5", "--guides"}, {768, 576}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    std::vector<std::string> from_bitmap = {"preview", Path("card.bmp"), Path("a.png")};
    std::vector<std::string> from_image = {"preview", usb, Path("b.png")};
    from_bitmap.insert(from_bitmap.end(), c.options.begin(), c.options.end());
    from_image.insert(from_image.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(Run(from_bitmap), 0) << err_.str();
    EXPECT_EQ(out_.str().rfind("Preview written: " + Path("a.png"), 0), 0u) << out_.str();
    ASSERT_EQ(Run(from_image), 0) << err_.str();
    const QImage a = Load(Path("a.png")), b = Load(Path("b.png"));
    EXPECT_EQ(a.size(), c.size);
    EXPECT_EQ(a, b);
  }
  // Anything else is refused, and nothing is written.
  test::WriteBytes(Path("notes.txt"), test::ToBytes("not a picture"));
  EXPECT_EQ(Run({"preview", Path("notes.txt"), Path("c.png")}), 1);
  EXPECT_NE(err_.str().find("is neither a 720 x 576, 8-bit bitmap nor a sound update image"), std::string::npos)
      << err_.str();
  EXPECT_FALSE(fs::exists(Path("c.png")));
}

}  // namespace
}  // namespace kws
