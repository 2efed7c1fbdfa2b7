#include "fit/svg_geometry.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace kws::svg {

std::optional<double> NumberReader::Next() {
  SkipSeparators();
  const size_t start = pos_;
  if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
  bool digits = false;
  while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_, digits = true;
  if (pos_ < text_.size() && text_[pos_] == '.') {
    ++pos_;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_, digits = true;
  }
  if (!digits) {
    pos_ = start;
    return std::nullopt;
  }
  if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
    size_t e = pos_ + 1;
    if (e < text_.size() && (text_[e] == '+' || text_[e] == '-')) ++e;
    if (e < text_.size() && std::isdigit(static_cast<unsigned char>(text_[e]))) {
      pos_ = e;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
  }
  const double value = std::strtod(std::string(text_.substr(start, pos_ - start)).c_str(), nullptr);
  return std::isfinite(value) ? value : 0.0;
}

std::string_view NumberReader::Unit() {
  const size_t start = pos_;
  while (pos_ < text_.size() && (std::isalpha(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '%')) {
    ++pos_;
  }
  return text_.substr(start, pos_ - start);
}

// A length in pixels as Qt's SVG reader takes it (90 pixels an inch); a
// percentage or nothing gives fallback.
double Length(std::string_view text, double fallback) {
  NumberReader reader(text);
  const std::optional<double> value = reader.Next();
  if (!value) return fallback;
  const std::string_view unit = reader.Unit();
  static const std::pair<std::string_view, double> kUnits[] = {{"", 1},    {"px", 1},        {"pt", 1.25},
                                                               {"pc", 15}, {"mm", 3.543307}, {"cm", 35.43307},
                                                               {"in", 90}, {"em", 16},       {"ex", 8}};
  for (const auto& [name, factor] : kUnits) {
    if (unit == name) return std::abs(*value) * factor;
  }
  return fallback;
}

// A path's "d": straight segments as they are, curves as their control
// polygons, arcs as the half of their ellipse (the whole for a large arc).
Outline PathOutline(std::string_view d) {
  NumberReader reader(d);
  Outline outline;
  Point current, start;
  char command = '\0';
  const auto next = [&reader]() { return reader.Next(); };
  while (!reader.AtEnd()) {
    const char c = reader.Peek();
    if (std::isalpha(static_cast<unsigned char>(c))) {
      command = c;
      reader.Skip();
      if (command == 'z' || command == 'Z') {
        outline.length += Distance(current, start);
        current = start;
        continue;
      }
    }
    const bool relative = std::islower(static_cast<unsigned char>(command)) != 0;
    const auto point = [&](double x, double y) { return relative ? Point{current.x + x, current.y + y} : Point{x, y}; };
    // Each command's numbers, then the point it ends at.
    std::array<double, 7> v{};
    int count = 0;
    switch (std::toupper(static_cast<unsigned char>(command))) {
      case 'M':
      case 'L':
      case 'T':
        count = 2;
        break;
      case 'H':
      case 'V':
        count = 1;
        break;
      case 'S':
      case 'Q':
        count = 4;
        break;
      case 'C':
        count = 6;
        break;
      case 'A':
        count = 7;
        break;
      default:
        return outline;  // nothing Qt's reader draws past this
    }
    for (int i = 0; i < count; ++i) {
      const std::optional<double> value = next();
      if (!value) return outline;
      v[static_cast<size_t>(i)] = *value;
    }
    Point end;
    double length = 0;
    switch (std::toupper(static_cast<unsigned char>(command))) {
      case 'M':
        end = start = point(v[0], v[1]);
        // Further pairs after a move are lines.
        command = relative ? 'l' : 'L';
        break;
      case 'L':
      case 'T':
        end = point(v[0], v[1]);
        length = Distance(current, end);
        break;
      case 'H':
        end = {relative ? current.x + v[0] : v[0], current.y};
        length = Distance(current, end);
        break;
      case 'V':
        end = {current.x, relative ? current.y + v[0] : v[0]};
        length = Distance(current, end);
        break;
      case 'S':
      case 'Q': {
        const Point control = point(v[0], v[1]);
        end = point(v[2], v[3]);
        length = Distance(current, control) + Distance(control, end);
        break;
      }
      case 'C': {
        const Point c1 = point(v[0], v[1]), c2 = point(v[2], v[3]);
        end = point(v[4], v[5]);
        length = Distance(current, c1) + Distance(c1, c2) + Distance(c2, end);
        break;
      }
      case 'A': {
        end = point(v[5], v[6]);
        const double radius = std::max(std::abs(v[0]), std::abs(v[1]));
        length = std::max(Distance(current, end), radius * M_PI * (v[3] != 0 ? 2 : 1));
        break;
      }
    }
    outline.length += length;
    current = end;
  }
  return outline;
}

// A "points" list, closed for a polygon.
Outline PointsOutline(std::string_view points, bool closed) {
  NumberReader reader(points);
  Outline outline;
  std::optional<Point> first, last;
  while (true) {
    const std::optional<double> x = reader.Next();
    const std::optional<double> y = x ? reader.Next() : std::nullopt;
    if (!y) break;
    const Point p{*x, *y};
    if (last) outline.length += Distance(*last, p);
    if (!first) first = p;
    last = p;
  }
  if (closed && first && last) outline.length += Distance(*last, *first);
  return outline;
}

// How much a transform list scales lengths: the square root of its
// determinant, times for each of the list.
double TransformScale(std::string_view transform) {
  double scale = 1;
  size_t pos = 0;
  while (pos < transform.size()) {
    const size_t open = transform.find('(', pos);
    const size_t close = transform.find(')', open);
    if (open == std::string_view::npos || close == std::string_view::npos) break;
    std::string_view name = transform.substr(pos, open - pos);
    while (!name.empty() && (IsSpace(name.front()) || name.front() == ',')) name.remove_prefix(1);
    while (!name.empty() && IsSpace(name.back())) name.remove_suffix(1);
    NumberReader reader(transform.substr(open + 1, close - open - 1));
    std::vector<double> v;
    while (const std::optional<double> value = reader.Next()) v.push_back(*value);
    if (name == "scale" && !v.empty()) {
      scale *= std::sqrt(std::abs(v[0] * (v.size() > 1 ? v[1] : v[0])));
    } else if (name == "matrix" && v.size() >= 4) {
      scale *= std::sqrt(std::abs(v[0] * v[3] - v[1] * v[2]));
    } else if ((name == "skewX" || name == "skewY") && !v.empty()) {
      // Lengths along the skew grow by up to the skew's slope.
      scale *= std::hypot(1.0, std::tan(std::min(std::abs(v[0]), 89.0) * M_PI / 180));
    }
    pos = close + 1;
  }
  return std::isfinite(scale) ? std::min(scale, 1e12) : 1e12;
}

}  // namespace kws::svg
