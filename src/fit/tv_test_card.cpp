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
constexpr Rgb kLabel = kOverscanLabelColor;
constexpr Rgb kAction{255, 200, 0};
constexpr Rgb kTitle{0, 200, 235};
constexpr Rgb kEdgeLine = kOverscanLineColor;
constexpr int kMarkScale = 2, kMarkLength = 56;

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

// The mark of one edge: its line along the edge (length long), and its
// number's box just inside it, centred along the line.
enum class Edge { kTop, kBottom, kLeft, kRight };

// The box of a mark's lit dots, from where its text is set: a "1" leaves its
// first column dark, and the digits are placed by what is drawn.
Rect InkBox(int percent) {
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
  ForEachDot(std::to_string(percent), 0, 0, kMarkScale, [&](int x, int y) {
    left = std::min(left, x), top = std::min(top, y);
    right = std::max(right, x + kMarkScale), bottom = std::max(bottom, y + kMarkScale);
  });
  return {left, top, right - left, bottom - top};
}

OverscanMark MakeMark(int percent, Edge edge, int along) {
  const Rect ink = InkBox(percent);
  const int text_width = ink.width, text_height = ink.height;
  const int dx = static_cast<int>(std::lround(kPictureWidth * percent / 200.0));
  const int dy = static_cast<int>(std::lround(kPictureHeight * percent / 200.0));
  const int gap = 2 + kOverscanLabelGap;  // the line's thickness and the gap
  switch (edge) {
    case Edge::kTop:
      return {percent,
              {along - kMarkLength / 2, dy, kMarkLength, 2},
              {along - text_width / 2, dy + gap, text_width, text_height}};
    case Edge::kBottom:
      return {percent,
              {along - kMarkLength / 2, kPictureHeight - dy - 2, kMarkLength, 2},
              {along - text_width / 2, kPictureHeight - dy - gap - text_height, text_width, text_height}};
    case Edge::kLeft:
      return {percent,
              {dx, along - kMarkLength / 4, 2, kMarkLength / 2},
              {dx + gap, along - text_height / 2, text_width, text_height}};
    case Edge::kRight:
      return {percent,
              {kPictureWidth - dx - 2, along - kMarkLength / 4, 2, kMarkLength / 2},
              {kPictureWidth - dx - gap - text_width, along - text_height / 2, text_width, text_height}};
  }
  return {};
}

// The field cleared around a mark's number: the grid and the safe frames
// stop short of it.
void ClearAround(Card& card, const OverscanMark& mark) {
  const Rect& box = mark.label;
  constexpr int m = kOverscanLabelMargin;
  card.FillRect(box.x - m, box.y - m, box.width + 2 * m, box.height + 2 * m, kField);
}

void DrawMark(Card& card, const OverscanMark& mark) {
  card.FillRect(mark.line.x, mark.line.y, mark.line.width, mark.line.height, kEdgeLine);
  const Rect ink = InkBox(mark.percent);
  DrawText(card, std::to_string(mark.percent), mark.label.x - ink.x, mark.label.y - ink.y, kMarkScale, kLabel);
}

}  // namespace

// At each edge, a line where a TV that hides this much overscan (in percent
// of width and height, half on each side) cuts the frame, numbered on the
// side that stays visible. The outermost number still seen is the TV's.
std::vector<OverscanMark> OverscanMarks() {
  constexpr int kSteps[] = {2, 4, 6, 8, 10};
  std::vector<OverscanMark> marks;
  for (int k = 0; k < 5; ++k) {
    // Top and bottom: side by side along the edge, left of the middle and
    // right of it; left and right: one above the other. The last mark of
    // each edge meets its mirror image in the middle.
    const bool last = k == 4;
    const std::vector<int> across =
        last ? std::vector<int>{kPictureWidth / 2} : std::vector<int>{120 + k * 60, kPictureWidth - 120 - k * 60};
    const std::vector<int> down =
        last ? std::vector<int>{kPictureHeight / 2} : std::vector<int>{100 + k * 44, kPictureHeight - 100 - k * 44};
    for (const int cx : across) {
      marks.push_back(MakeMark(kSteps[k], Edge::kTop, cx));
      marks.push_back(MakeMark(kSteps[k], Edge::kBottom, cx));
    }
    for (const int cy : down) {
      marks.push_back(MakeMark(kSteps[k], Edge::kLeft, cy));
      marks.push_back(MakeMark(kSteps[k], Edge::kRight, cy));
    }
  }
  return marks;
}

Picture8 MakeTestCard() {
  Card card;
  DrawGrid(card);
  DrawCircle(card, 192);
  const Size frame{kPictureWidth, kPictureHeight};
  DrawFrame(card, SafeRect(SafeArea::kAction, frame), kAction);
  DrawFrame(card, SafeRect(SafeArea::kTitle, frame), kTitle);
  const std::vector<OverscanMark> marks = OverscanMarks();
  for (const OverscanMark& mark : marks) ClearAround(card, mark);
  for (const OverscanMark& mark : marks) DrawMark(card, mark);
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
