// The TV test card's overscan marks: each number stands at its own line, on
// the side that stays visible, centred along it, and no other line of the
// card runs through its digits. Measured on the card's pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "fit/placement.h"
#include "fit/tv_test_card.h"

namespace kws {
namespace {

Rgb ColorAt(const Picture8& p, int x, int y) { return p.palette[p.pixels[static_cast<size_t>(y) * p.width + x]]; }

bool Inside(const Rect& r, int x, int y) { return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height; }

// The box of the pixels of this colour within the area.
Rect BoxOf(const Picture8& p, const Rect& area, const Rgb& color) {
  int left = area.x + area.width, top = area.y + area.height, right = area.x - 1, bottom = area.y - 1;
  for (int y = area.y; y < area.y + area.height; ++y) {
    for (int x = area.x; x < area.x + area.width; ++x) {
      if (ColorAt(p, x, y) != color) continue;
      left = std::min(left, x), top = std::min(top, y), right = std::max(right, x), bottom = std::max(bottom, y);
    }
  }
  return right < left ? Rect{} : Rect{left, top, right - left + 1, bottom - top + 1};
}

Rect Grown(const Rect& r, int by) { return {r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by}; }

TEST(TestCard, EachOverscanNumberStandsAtItsLine) {
  const Picture8 card = MakeTestCard();
  const std::vector<OverscanMark> marks = OverscanMarks();
  ASSERT_EQ(marks.size(), 36u);  // five steps a side, two of each but the middle one
  const Rgb field = ColorAt(card, 1, 1);
  for (const OverscanMark& mark : marks) {
    const Rect& line = mark.line;
    const Rect& label = mark.label;
    SCOPED_TRACE(std::to_string(mark.percent) + "% at " + std::to_string(line.x) + "," + std::to_string(line.y));
    const bool across = line.width > line.height;  // a line along the top or bottom edge
    // The line where a TV hiding that much of the frame cuts it.
    const int cut_x = static_cast<int>(std::lround(720 * mark.percent / 200.0));
    const int cut_y = static_cast<int>(std::lround(576 * mark.percent / 200.0));
    if (across) {
      EXPECT_TRUE(line.y == cut_y || line.y + line.height == 576 - cut_y);
    } else {
      EXPECT_TRUE(line.x == cut_x || line.x + line.width == 720 - cut_x);
    }
    EXPECT_EQ(BoxOf(card, line, kOverscanLineColor), line);
    // The digits drawn fill the label's box, and nothing else of theirs is
    // near it.
    const Rect around = Grown(label, kOverscanLabelMargin);
    EXPECT_EQ(BoxOf(card, around, kOverscanLabelColor), label);
    // Just inside the line, two pixels from it, and centred along it.
    if (across) {
      const bool top = line.y < 288;
      EXPECT_EQ(top ? label.y - (line.y + line.height) : line.y - (label.y + label.height), kOverscanLabelGap);
      EXPECT_NEAR(label.x + label.width / 2.0, line.x + line.width / 2.0, 0.5);
    } else {
      const bool left = line.x < 360;
      EXPECT_EQ(left ? label.x - (line.x + line.width) : line.x - (label.x + label.width), kOverscanLabelGap);
      EXPECT_NEAR(label.y + label.height / 2.0, line.y + line.height / 2.0, 0.5);
    }
    // Around the digits only the field and their own line: no grid line or
    // safe frame runs through them.
    for (int y = around.y; y < around.y + around.height; ++y) {
      for (int x = around.x; x < around.x + around.width; ++x) {
        if (Inside(line, x, y)) continue;
        const Rgb c = ColorAt(card, x, y);
        ASSERT_TRUE(c == field || c == kOverscanLabelColor) << "at " << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace kws
