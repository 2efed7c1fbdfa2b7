// Every SVG drawing ends, within bounds, with a picture or a refusal in the
// tool's words: what the count before drawing refuses on the command line
// (run with its address space limited as a small machine would have it),
// and what only the drawing's own limits in its child process catch.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <cstdint>
#include <fstream>
#include <future>
#include <string>

#include "picture/address_space.h"
#include "picture/svg_drawing.h"
#include "support/test_support.h"

namespace kws {
namespace {

std::string Svg(const std::string& body, const std::string& prolog = "") {
  return prolog + "<svg xmlns='http://www.w3.org/2000/svg' width='720' height='576'>" + body + "</svg>";
}

// A polyline of n points zigzagging across the frame, drawn as given.
std::string Polyline(int64_t n, const std::string& stroke) {
  std::string points;
  for (int64_t i = 0; i < n; ++i) {
    points += std::to_string((i * 7919) % 720) + "," + std::to_string((i * 104729) % 576) + " ";
  }
  return "<polyline fill='none' stroke='red' " + stroke + " points='" + points + "'/>";
}

std::string ManyPaths(int n) {
  std::string paths;
  for (int i = 0; i < n; ++i) {
    paths += "<path d='M" + std::to_string(i % 720) + " " + std::to_string(i % 576) + " l9 4 l-3 7z' fill='#" +
             std::to_string(100000 + i % 900000) + "' stroke='black'/>";
  }
  return paths;
}

// Dashes and width the count cannot see: they come from entities, which
// only the XML parser expands.
const std::string kHiddenStroke = "<?xml version='1.0'?><!DOCTYPE svg [<!ENTITY d '1 1'><!ENTITY w '20'>]>";

class SvgBounds : public test::ScratchDirTest {
 protected:
  static void SetUpTestSuite() {
    if (!QGuiApplication::instance()) {
      static int argc = 1;
      static char name[] = "svg_bounds_test";
      static char* argv[] = {name, nullptr};
      qputenv("QT_QPA_PLATFORM", "offscreen");
      new QGuiApplication(argc, argv);
    }
  }

  // The command line's import in a child process of 2 GiB of address space
  // (where Qt's drawing ended in SIGSEGV; AddressSanitizer's shadow needs
  // more, so there without the limit); its exit code and stderr.
  std::pair<int, std::string> ImportLimited(const std::string& svg) {
    test::WriteBytes(Path("drawing.svg"), test::ToBytes(svg));
    const pid_t child = ::fork();
    if (child == 0) {
      if (!kAddressSanitizer) {
        const rlimit both{rlim_t{2} << 30, rlim_t{2} << 30};
        ::setrlimit(RLIMIT_AS, &both);
      }
      ::alarm(120);
      std::freopen(Path("err.txt").c_str(), "w", stderr);
      std::freopen("/dev/null", "w", stdout);
      ::execl(KWS_CLI, KWS_CLI, "import", Path("drawing.svg").c_str(), Path("out.bmp").c_str(), nullptr);
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const test::Bytes err = test::ReadBytes(Path("err.txt"));
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), std::string(err.begin(), err.end())};
  }
};

TEST_F(SvgBounds, TheCommandLineRefusesCostlyDrawingsBeforeDrawing) {
  const struct {
    const char* name;
    std::string svg;
    const char* counted;
  } cases[] = {
      // 2,000 points took 18 s to draw; 400,000 took 13.6 GB.
      {"dashed polyline", Svg(Polyline(2000, "stroke-width='20' stroke-dasharray='1 1'")), " dashes); "},
      {"long dashed polyline", Svg(Polyline(400000, "stroke-width='20' stroke-dasharray='1 1'")), " dashes); "},
      {"wide polyline", Svg(Polyline(2000, "stroke-width='20'")), " square pixels of wide strokes); "},
      // 111,317 short paths took 50 s and 512 MB.
      {"many paths", Svg(ManyPaths(111317)), "(111,318 elements); "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [code, err] = ImportLimited(c.svg);
    EXPECT_EQ(code, 1) << err;
    EXPECT_NE(err.find("drawing.svg as a picture: this drawing is too complex to draw here ("), std::string::npos)
        << err;
    EXPECT_NE(err.find(c.counted), std::string::npos) << err;
    EXPECT_NE(err.find("simplify it or export it as a PNG"), std::string::npos) << err;
    EXPECT_FALSE(test::Exists(Path("out.bmp")));
  }
}

// The drawing's own limits, made small here, end what the count lets
// through, in the same words; what stays within them is drawn as Qt draws it
// in this process.
TEST_F(SvgBounds, TheDrawingsLimitsEndWhatTheCountMisses) {
  const struct {
    const char* name;
    std::string svg;
    DrawingLimits limits;
    const char* failed;  // empty: drawn
  } cases[] = {
      {"slow",
       Svg(Polyline(2000, "stroke-width='&w;' stroke-dasharray='&d;'"), kHiddenStroke),
       {1, 60, 1u << 30},
       "this drawing is too complex to draw here (more than 1 seconds of drawing); simplify it or export it as a PNG"},
      {"large",
       Svg(Polyline(400000, "stroke-width='&w;' stroke-dasharray='&d;'"), kHiddenStroke),
       {60, 120, 64u << 20},
       "this drawing is too complex to draw here (more than 64 MB of drawing); simplify it or export it as a PNG"},
      {"within", Svg(Polyline(50, "stroke-width='&w;' stroke-dasharray='&d;'"), kHiddenStroke), {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Under AddressSanitizer the drawing has no address-space limit.
    if (kAddressSanitizer && std::string(c.failed).find(" MB of drawing") != std::string::npos) continue;
    const QByteArray bytes = QByteArray::fromStdString(c.svg);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "svg");
    QImage image;
    const SvgDrawing drawing = DrawSvgBounded(
        reader, image, [] { return std::vector<std::string>(); }, c.limits);
    EXPECT_EQ(drawing.failed, c.failed);
    if (*c.failed) continue;
    ASSERT_TRUE(drawing.read);
    QBuffer again;
    again.setData(bytes);
    again.open(QIODevice::ReadOnly);
    const QImage own = QImageReader(&again, "svg").read();
    EXPECT_EQ(image, own);
  }
}

// Cancelling ends a drawing under way at once, however long it would take.
TEST_F(SvgBounds, CancelEndsADrawing) {
  const QByteArray bytes =
      QByteArray::fromStdString(Svg(Polyline(2000, "stroke-width='&w;' stroke-dasharray='&d;'"), kHiddenStroke));
  auto drawn = std::async(std::launch::async, [&bytes] {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "svg");
    QImage image;
    return DrawSvgBounded(reader, image, [] { return std::vector<std::string>(); }, {600, 600, 1u << 30});
  });
  // Cancelled again and again: a cancel before the drawing starts is not
  // its own.
  while (drawn.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) CancelSvgDrawings();
  EXPECT_EQ(drawn.get().failed, "the drawing was cancelled");
}

}  // namespace
}  // namespace kws
