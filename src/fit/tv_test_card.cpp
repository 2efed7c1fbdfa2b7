#include "fit/tv_test_card.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "fit/measure.h"
#include "fit/placement.h"
#include "fit/rgba_picture.h"
#include "sample/dot_font.h"

namespace kws {

namespace {

constexpr Rgb kField{70, 70, 78};
constexpr Rgb kGrid{120, 120, 130};
constexpr Rgb kCircle{230, 230, 230};
constexpr Rgb kLabel{235, 235, 200};
constexpr Rgb kAction{255, 200, 0};
constexpr Rgb kTitle{0, 200, 235};
constexpr Rgb kEdgeLine{255, 80, 80};

// The card as it is drawn: opaque RGBA, rectangles filled as far as they
// lie on it.
class Card {
 public:
  Card() : picture_(kPictureWidth, kPictureHeight) { FillRect(0, 0, kPictureWidth, kPictureHeight, kField); }

  void FillRect(int x, int y, int width, int height, const Rgb& color) {
    const int left = std::max(x, 0), right = std::min(x + width, kPictureWidth);
    const int top = std::max(y, 0), bottom = std::min(y + height, kPictureHeight);
    for (int row = top; row < bottom; ++row) {
      for (int column = left; column < right; ++column) SetPixel(column, row, color);
    }
  }

  void SetPixel(int x, int y, const Rgb& color) {
    uint8_t* p = picture_.Row(y) + static_cast<size_t>(x) * 4;
    p[0] = color.r, p[1] = color.g, p[2] = color.b, p[3] = 0xFF;
  }

  const RgbaPicture& picture() const { return picture_; }

 private:
  RgbaPicture picture_;
};

void DrawText(Card& card, std::string_view text, int x, int y, int scale, const Rgb& color) {
  ForEachDot(text, x, y, scale, [&](int dot_x, int dot_y) { card.FillRect(dot_x, dot_y, scale, scale, color); });
}

void DrawCentred(Card& card, std::string_view text, int cx, int y, int scale, const Rgb& color) {
  DrawText(card, text, cx - DotTextWidth(text, scale) / 2, y, scale, color);
}

// A frame two pixels thick just inside the rectangle.
void DrawFrame(Card& card, const Rect& r, const Rgb& color) {
  card.FillRect(r.x, r.y, r.width, 2, color);
  card.FillRect(r.x, r.y + r.height - 2, r.width, 2, color);
  card.FillRect(r.x, r.y, 2, r.height, color);
  card.FillRect(r.x + r.width - 2, r.y, 2, r.height, color);
}

// The grid: squares 48 pixels high and 45 wide, square on a 4:3 TV,
// centred on the frame's middle.
void DrawGrid(Card& card) {
  for (int x = kPictureWidth / 2 % 45; x < kPictureWidth; x += 45) {
    card.FillRect(x - 1, 0, 2, kPictureHeight, kGrid);
  }
  for (int y = kPictureHeight / 2 % 48; y < kPictureHeight; y += 48) {
    card.FillRect(0, y - 1, kPictureWidth, 2, kGrid);
  }
}

// A ring 4 pixels thick, round on a 4:3 TV: its width in the receiver's
// pixels is 15/16 of its height.
void DrawCircle(Card& card, int radius) {
  const double aspect = PixelAspect(Display::k4x3);
  for (int y = 0; y < kPictureHeight; ++y) {
    for (int x = 0; x < kPictureWidth; ++x) {
      const double dx = (x + 0.5 - kPictureWidth / 2.0) * aspect, dy = y + 0.5 - kPictureHeight / 2.0;
      if (std::abs(std::hypot(dx, dy) - radius) <= 2.0) card.SetPixel(x, y, kCircle);
    }
  }
}

// At each edge, a line where a TV that hides this much overscan (in percent
// of width and height, half on each side) cuts the frame, numbered on the
// side that stays visible. The outermost number still seen is the TV's.
void DrawEdgeMarks(Card& card) {
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
      card.FillRect(cx - kLength / 2, dy, kLength, 2, kEdgeLine);
      DrawCentred(card, label, cx, dy + 4, kScale, kLabel);
      card.FillRect(cx - kLength / 2, kPictureHeight - dy - 2, kLength, 2, kEdgeLine);
      DrawCentred(card, label, cx, kPictureHeight - dy - 6 - kGlyphHeight, kScale, kLabel);
    }
    // Left and right: one above the other along the edge.
    const std::vector<int> down =
        last ? std::vector<int>{kPictureHeight / 2} : std::vector<int>{100 + k * 44, kPictureHeight - 100 - k * 44};
    for (const int cy : down) {
      card.FillRect(dx, cy - kLength / 4, 2, kLength / 2, kEdgeLine);
      DrawText(card, label, dx + 5, cy - kGlyphHeight / 2, kScale, kLabel);
      card.FillRect(kPictureWidth - dx - 2, cy - kLength / 4, 2, kLength / 2, kEdgeLine);
      DrawText(card, label, kPictureWidth - dx - 5 - DotTextWidth(label, kScale), cy - kGlyphHeight / 2, kScale,
               kLabel);
    }
  }
}

}  // namespace

Picture8 MakeTestCard() {
  Card card;
  DrawGrid(card);
  DrawCircle(card, 192);
  const Size frame{kPictureWidth, kPictureHeight};
  DrawFrame(card, SafeRect(SafeArea::kAction, frame), kAction);
  DrawFrame(card, SafeRect(SafeArea::kTitle, frame), kTitle);
  DrawEdgeMarks(card);
  // The centre, and what the circle says.
  card.FillRect(kPictureWidth / 2 - 15, kPictureHeight / 2 - 1, 30, 2, kCircle);
  card.FillRect(kPictureWidth / 2 - 1, kPictureHeight / 2 - 16, 2, 32, kCircle);
  DrawCentred(card, "ROUND ON 4:3", kPictureWidth / 2, kPictureHeight / 2 - 80, 3, kLabel);
  DrawCentred(card, "WIDE ON 16:9", kPictureWidth / 2, kPictureHeight / 2 + 59, 3, kLabel);
  DrawCentred(card, "OVERSCAN %", kPictureWidth / 2, kPictureHeight / 2 + 110, 2, kLabel);
  // Only the colours drawn above: far fewer than 256.
  return *ExactColors(card.picture());
}

}  // namespace kws
