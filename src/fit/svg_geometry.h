// The geometry an SVG's drawing cost is counted from, read from its text as
// Qt's SVG reader reads it: numbers and lengths, the outlines of shapes and
// paths, and how much a transform scales them.
#pragma once

#include <cmath>
#include <cstddef>
#include <optional>
#include <string_view>

namespace kws::svg {

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Numbers as SVG writes them in lists and paths: "1.5e2-3.2.5" is 150, -3.2, 0.5.
class NumberReader {
 public:
  explicit NumberReader(std::string_view text) : text_(text) {}

  void SkipSeparators() {
    while (pos_ < text_.size() && (IsSpace(text_[pos_]) || text_[pos_] == ',')) ++pos_;
  }
  bool AtEnd() {
    SkipSeparators();
    return pos_ >= text_.size();
  }
  char Peek() {
    SkipSeparators();
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }
  void Skip() { ++pos_; }

  // The next number, or nothing where none stands.
  std::optional<double> Next();
  // A unit after a length ("mm", "%"), skipped.
  std::string_view Unit();

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// A length in pixels as Qt's SVG reader takes it (90 pixels an inch); a
// percentage or nothing gives fallback.
double Length(std::string_view text, double fallback);

struct Point {
  double x = 0, y = 0;
};

inline double Distance(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

// What a shape's outline is made of: its length in user units.
struct Outline {
  double length = 0;
};

// A path's "d": straight segments as they are, curves as their control
// polygons, arcs as the half of their ellipse (the whole for a large arc).
Outline PathOutline(std::string_view d);

// A "points" list, closed for a polygon.
Outline PointsOutline(std::string_view points, bool closed);

// How much a transform list scales lengths: the square root of its
// determinant, times for each of the list.
double TransformScale(std::string_view transform);

}  // namespace kws::svg
