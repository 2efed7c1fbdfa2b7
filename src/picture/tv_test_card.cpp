#include "picture/tv_test_card.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "fit/measure.h"
#include "picture/canvas.h"
#include "picture/tv_display.h"
#include "sample/dot_font.h"

namespace kws {

namespace {

const QColor kField(70, 70, 78);
const QColor kGrid(120, 120, 130);
const QColor kCircle(230, 230, 230);
const QColor kLabel(235, 235, 200);
const QColor kAction(255, 200, 0);
const QColor kTitle(0, 200, 235);
const QColor kEdgeLine(255, 80, 80);

void DrawText(QPainter& painter, std::string_view text, int x, int y, int scale, const QColor& color) {
  ForEachDot(text, x, y, scale, [&](int dot_x, int dot_y) { painter.fillRect(dot_x, dot_y, scale, scale, color); });
}

void DrawCentred(QPainter& painter, std::string_view text, int cx, int y, int scale, const QColor& color) {
  DrawText(painter, text, cx - DotTextWidth(text, scale) / 2, y, scale, color);
}

// A frame two pixels thick just inside the rectangle.
void DrawFrame(QPainter& painter, const QRect& r, const QColor& color) {
  painter.fillRect(r.left(), r.top(), r.width(), 2, color);
  painter.fillRect(r.left(), r.bottom() - 1, r.width(), 2, color);
  painter.fillRect(r.left(), r.top(), 2, r.height(), color);
  painter.fillRect(r.right() - 1, r.top(), 2, r.height(), color);
}

// The grid: squares 48 pixels high and 45 wide, square on a 4:3 TV,
// centred on the frame's middle.
void DrawGrid(QPainter& painter) {
  for (int x = kPictureWidth / 2 % 45; x < kPictureWidth; x += 45) {
    painter.fillRect(x - 1, 0, 2, kPictureHeight, kGrid);
  }
  for (int y = kPictureHeight / 2 % 48; y < kPictureHeight; y += 48) {
    painter.fillRect(0, y - 1, kPictureWidth, 2, kGrid);
  }
}

// A ring 4 pixels thick, round on a 4:3 TV: its width in the receiver's
// pixels is 15/16 of its height.
void DrawCircle(QImage& image, int radius) {
  const double aspect = PixelAspect(Display::k4x3);
  const QRgb color = kCircle.rgb();
  for (int y = 0; y < kPictureHeight; ++y) {
    for (int x = 0; x < kPictureWidth; ++x) {
      const double dx = (x + 0.5 - kPictureWidth / 2.0) * aspect, dy = y + 0.5 - kPictureHeight / 2.0;
      if (std::abs(std::hypot(dx, dy) - radius) <= 2.0) image.setPixel(x, y, color);
    }
  }
}

// At each edge, a line where a TV that hides this much overscan (in percent
// of width and height, half on each side) cuts the frame, numbered on the
// side that stays visible. The outermost number still seen is the TV's.
void DrawEdgeMarks(QPainter& painter) {
  constexpr int kSteps[] = {2, 4, 6, 8, 10};
  constexpr int kScale = 2, kGlyphHeight = 7 * kScale, kLength = 56;
  for (int k = 0; k < 5; ++k) {
    const int percent = kSteps[k];
    const std::string label = std::to_string(percent);
    const int dx = static_cast<int>(std::lround(kPictureWidth * percent / 200.0));
    const int dy = static_cast<int>(std::lround(kPictureHeight * percent / 200.0));
    // Top and bottom: side by side along the edge, left of the middle and
    // right of it.
    // The last mark of each edge meets its mirror image in the middle.
    const bool last = k == 4;
    const std::vector<int> across =
        last ? std::vector<int>{kPictureWidth / 2} : std::vector<int>{120 + k * 60, kPictureWidth - 120 - k * 60};
    for (const int cx : across) {
      painter.fillRect(cx - kLength / 2, dy, kLength, 2, kEdgeLine);
      DrawCentred(painter, label, cx, dy + 4, kScale, kLabel);
      painter.fillRect(cx - kLength / 2, kPictureHeight - dy - 2, kLength, 2, kEdgeLine);
      DrawCentred(painter, label, cx, kPictureHeight - dy - 6 - kGlyphHeight, kScale, kLabel);
    }
    // Left and right: one above the other along the edge.
    const std::vector<int> down =
        last ? std::vector<int>{kPictureHeight / 2} : std::vector<int>{100 + k * 44, kPictureHeight - 100 - k * 44};
    for (const int cy : down) {
      painter.fillRect(dx, cy - kLength / 4, 2, kLength / 2, kEdgeLine);
      DrawText(painter, label, dx + 5, cy - kGlyphHeight / 2, kScale, kLabel);
      painter.fillRect(kPictureWidth - dx - 2, cy - kLength / 4, 2, kLength / 2, kEdgeLine);
      DrawText(painter, label, kPictureWidth - dx - 5 - DotTextWidth(label, kScale), cy - kGlyphHeight / 2, kScale,
               kLabel);
    }
  }
}

}  // namespace

Picture8 MakeTestCard() {
  QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
  image.fill(kField);
  {
    QPainter painter(&image);
    DrawGrid(painter);
  }
  DrawCircle(image, 192);
  {
    QPainter painter(&image);
    const QSize frame(kPictureWidth, kPictureHeight);
    DrawFrame(painter, SafeRect(SafeArea::kAction, frame), kAction);
    DrawFrame(painter, SafeRect(SafeArea::kTitle, frame), kTitle);
    DrawEdgeMarks(painter);
    // The centre, and what the circle says.
    painter.fillRect(kPictureWidth / 2 - 15, kPictureHeight / 2 - 1, 30, 2, kCircle);
    painter.fillRect(kPictureWidth / 2 - 1, kPictureHeight / 2 - 16, 2, 32, kCircle);
    DrawCentred(painter, "ROUND ON 4:3", kPictureWidth / 2, kPictureHeight / 2 - 80, 3, kLabel);
    DrawCentred(painter, "WIDE ON 16:9", kPictureWidth / 2, kPictureHeight / 2 + 59, 3, kLabel);
    DrawCentred(painter, "OVERSCAN %", kPictureWidth / 2, kPictureHeight / 2 + 110, 2, kLabel);
  }
  // Only the colours drawn above: far fewer than 256.
  return *ExactColors(ToRgba(image));
}

}  // namespace kws
