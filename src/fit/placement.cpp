#include "fit/placement.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "format/bitmap.h"

namespace kws {

namespace {

// The names the command line takes and the settings store, one per value.
template <class T>
struct Named {
  T value;
  const char* name;
};
constexpr Named<Display> kDisplayNames[] = {
    {Display::k4x3, "4:3"}, {Display::k16x9, "16:9"}, {Display::kSquare, "square"}};
constexpr Named<SafeArea> kSafeAreaNames[] = {
    {SafeArea::kAction, "action"}, {SafeArea::kTitle, "title"}, {SafeArea::kNone, "none"}};

template <class T, size_t N>
std::optional<T> ValueNamed(const Named<T> (&names)[N], const std::string& text) {
  for (const Named<T>& n : names) {
    if (text == n.name) return n.value;
  }
  return std::nullopt;
}

template <class T, size_t N>
std::string NameOf(const Named<T> (&names)[N], T value) {
  for (const Named<T>& n : names) {
    if (n.value == value) return n.name;
  }
  return names[N - 1].name;  // the plain one: square pixels, no safe area
}

}  // namespace

std::optional<Display> ParseDisplay(const std::string& text) { return ValueNamed(kDisplayNames, text); }

std::string DisplayName(Display display) { return NameOf(kDisplayNames, display); }

std::optional<SafeArea> ParseSafeArea(const std::string& text) { return ValueNamed(kSafeAreaNames, text); }

std::string SafeAreaName(SafeArea area) { return NameOf(kSafeAreaNames, area); }

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

Size SquareFrameSize(Display display) {
  return Size{static_cast<int>(std::lround(kPictureWidth * PixelAspect(display))), kPictureHeight};
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

Rect SafeRect(SafeArea area, const Size& frame) {
  const double share = SafeShare(area);
  const int width = static_cast<int>(std::lround(frame.width * share));
  const int height = static_cast<int>(std::lround(frame.height * share));
  return Rect{(frame.width - width) / 2, (frame.height - height) / 2, width, height};
}

Placement PlacePicture(const Size& source, bool fill, Display display, SafeArea safe) {
  const Size frame{kPictureWidth, kPictureHeight};
  if (source == frame) return Placement{source, Rect{0, 0, frame.width, frame.height}, 1.0};
  const Rect area = SafeRect(safe, frame);
  const double aspect = PixelAspect(display);
  // In square pixels as the display shows them, the area is aspect times as
  // wide; the picture keeps its shape there and is squeezed back.
  const double fx = area.width * aspect / source.width;
  const double fy = double(area.height) / source.height;
  const double f = fill ? std::max(fx, fy) : std::min(fx, fy);
  // A line one pixel thin stays one pixel thin rather than vanishing; no
  // side grows past what an int holds.
  const auto side = [](double length) {
    constexpr long long kLongest = std::numeric_limits<int>::max() / 2;
    return static_cast<int>(std::clamp(std::llround(length), 1LL, kLongest));
  };
  return Placement{Size{side(source.width * f / aspect), side(source.height * f)}, area, f};
}

}  // namespace kws
