// The picture as a PAL TV shows it. The receivers put out their 720 x 576
// frame as PAL: on a 4:3 TV each pixel is 16:15 as wide as it is high, on a
// 16:9 TV (anamorphic) 64:45, and the TV's overscan hides the outer few
// percent. Safe areas are the middle 90 % (action) and 80 % (title) of the
// frame's width and height. Plain geometry without Qt, so that the desktop
// programs and the browser page place a picture alike.
#pragma once

#include <optional>
#include <string>

namespace kws {

enum class Display {
  kSquare,  // the receiver's pixels as they are: today's square-pixel import
  k4x3,     // a 4:3 TV, the PAL standard
  k16x9,    // a 16:9 TV showing the frame anamorphic
};

enum class SafeArea { kNone, kAction, kTitle };

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

// x, y is the top left pixel.
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

// "4:3", "16:9", "square"; nothing for anything else.
std::optional<Display> ParseDisplay(const std::string& text);
std::string DisplayName(Display display);
// "action", "title", "none".
std::optional<SafeArea> ParseSafeArea(const std::string& text);
std::string SafeAreaName(SafeArea area);

// How much wider than high one of the receiver's pixels shows: 16/15, 64/45,
// or 1 for square.
double PixelAspect(Display display);

// The frame as square pixels on that display: 768 x 576, 1024 x 576, or
// 720 x 576 for square.
Size SquareFrameSize(Display display);

// The share of width and height a safe area keeps: 0.9, 0.8, or 1.
double SafeShare(SafeArea area);

// The safe area of a frame of this size, centred; the whole frame for none.
Rect SafeRect(SafeArea area, const Size& frame);

// How a picture of this size (square pixels) is placed on the receiver's
// 720 x 576 frame so that, shown on the display, it keeps its proportions:
// fitted into the safe area, or with fill covering it. A picture of exactly
// 720 x 576 is taken as drawn for the receiver's pixels and placed unchanged.
struct Placement {
  Size size;         // in the receiver's pixels
  Rect area;         // the part of the frame the picture is placed in (and cropped to)
  double scale = 1;  // how much the picture grows, as shown on the display
};
Placement PlacePicture(const Size& source, bool fill, Display display, SafeArea safe);

}  // namespace kws
