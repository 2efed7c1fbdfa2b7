#include "picture/tv_display.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "format/bitmap.h"

namespace kws {

std::optional<Display> ParseDisplay(const std::string& text) {
  if (text == "4:3") return Display::k4x3;
  if (text == "16:9") return Display::k16x9;
  if (text == "square") return Display::kSquare;
  return std::nullopt;
}

std::string DisplayName(Display display) {
  switch (display) {
    case Display::k4x3:
      return "4:3";
    case Display::k16x9:
      return "16:9";
    case Display::kSquare:
      break;
  }
  return "square";
}

std::optional<SafeArea> ParseSafeArea(const std::string& text) {
  if (text == "action") return SafeArea::kAction;
  if (text == "title") return SafeArea::kTitle;
  if (text == "none") return SafeArea::kNone;
  return std::nullopt;
}

std::string SafeAreaName(SafeArea area) {
  switch (area) {
    case SafeArea::kAction:
      return "action";
    case SafeArea::kTitle:
      return "title";
    case SafeArea::kNone:
      break;
  }
  return "none";
}

double PixelAspect(Display display) {
  switch (display) {
    case Display::k4x3:
      return 16.0 / 15.0;
    case Display::k16x9:
      return 64.0 / 45.0;
    case Display::kSquare:
      break;
  }
  return 1.0;
}

QSize SquareFrameSize(Display display) {
  return QSize(static_cast<int>(std::lround(kPictureWidth * PixelAspect(display))), kPictureHeight);
}

double SafeShare(SafeArea area) {
  switch (area) {
    case SafeArea::kAction:
      return 0.9;
    case SafeArea::kTitle:
      return 0.8;
    case SafeArea::kNone:
      break;
  }
  return 1.0;
}

QRect SafeRect(SafeArea area, const QSize& frame) {
  const double share = SafeShare(area);
  const int width = static_cast<int>(std::lround(frame.width() * share));
  const int height = static_cast<int>(std::lround(frame.height() * share));
  return QRect((frame.width() - width) / 2, (frame.height() - height) / 2, width, height);
}

Placement PlacePicture(const QSize& source, bool fill, Display display, SafeArea safe) {
  const QSize frame(kPictureWidth, kPictureHeight);
  if (source == frame) return Placement{source, QRect(QPoint(0, 0), frame), 1.0};
  const QRect area = SafeRect(safe, frame);
  const double aspect = PixelAspect(display);
  // In square pixels as the display shows them, the area is aspect times as
  // wide; the picture keeps its shape there and is squeezed back.
  const double fx = area.width() * aspect / source.width();
  const double fy = double(area.height()) / source.height();
  const double f = fill ? std::max(fx, fy) : std::min(fx, fy);
  // A line one pixel thin stays one pixel thin rather than vanishing; no
  // side grows past what an int holds.
  const auto side = [](double length) {
    constexpr long long kLongest = std::numeric_limits<int>::max() / 2;
    return static_cast<int>(std::clamp(std::llround(length), 1LL, kLongest));
  };
  return Placement{QSize(side(source.width() * f / aspect), side(source.height() * f)), area, f};
}

}  // namespace kws
