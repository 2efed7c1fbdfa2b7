#include "fit/place_on_canvas.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "fit/import_error.h"

namespace kws {

namespace {

// One canvas pixel along one axis: the picture's pixels it is made of, each
// with its share.
struct Tap {
  int index;
  double weight;
};
using Taps = std::vector<Tap>;

// The taps of the canvas pixels first .. first + count - 1 of a picture side
// of length pixels scaled by factor (the placed length over the picture's).
std::vector<Taps> AxisTaps(int length, double factor, int first, int count) {
  std::vector<Taps> taps(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    const int i = first + k;
    Taps& t = taps[static_cast<size_t>(k)];
    if (factor >= 1) {
      // Enlarging: between the two pixels whose centres are nearest.
      const double at = std::clamp((i + 0.5) / factor - 0.5, 0.0, double(length - 1));
      const int left = std::min(static_cast<int>(std::floor(at)), length - 1);
      const double share = at - left;
      t.push_back({left, 1 - share});
      if (share > 0) t.push_back({left + 1, share});
      continue;
    }
    // Shrinking: each pixel the canvas pixel covers, by how much of it.
    const double begin = i / factor, end = std::min((i + 1) / factor, double(length));
    for (int j = static_cast<int>(std::floor(begin)); j < end && j < length; ++j) {
      const double part = std::min(end, j + 1.0) - std::max(begin, double(j));
      if (part > 0) t.push_back({j, part / (end - begin)});
    }
    if (t.empty()) t.push_back({std::min(static_cast<int>(begin), length - 1), 1.0});
  }
  return taps;
}

// Premultiplied red, green, blue and alpha, 0 to 255.
struct Premultiplied {
  double r = 0, g = 0, b = 0, a = 0;
};

const uint8_t* RowOf(const RgbaPixels& picture, int y) {
  return picture.row ? picture.row(y) : picture.rgba + static_cast<size_t>(y) * picture.row_bytes;
}

Premultiplied PremultipliedAt(const uint8_t* row, int x) {
  const uint8_t* p = row + static_cast<size_t>(x) * 4;
  const double alpha = p[3] / 255.0;
  return {p[0] * alpha, p[1] * alpha, p[2] * alpha, double(p[3])};
}

uint8_t OverBackground(double premultiplied, double alpha, uint8_t background) {
  const double value = premultiplied + background * (1 - alpha / 255);
  return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

// One row of the picture scaled across: the visible canvas pixels' colours.
std::vector<Premultiplied> ScaledRow(const RgbaPixels& picture, int y, const std::vector<Taps>& across) {
  const uint8_t* pixels = RowOf(picture, y);
  std::vector<Premultiplied> row(across.size());
  for (size_t k = 0; k < across.size(); ++k) {
    Premultiplied& sum = row[k];
    for (const Tap& tap : across[k]) {
      const Premultiplied p = PremultipliedAt(pixels, tap.index);
      sum.r += p.r * tap.weight;
      sum.g += p.g * tap.weight;
      sum.b += p.b * tap.weight;
      sum.a += p.a * tap.weight;
    }
  }
  return row;
}

}  // namespace

RgbaPicture PlaceOnCanvas(const RgbaPixels& picture, const Size& source, const Rgb& background, bool fill,
                          Display display, SafeArea safe) {
  if ((!picture.rgba && !picture.row) || picture.width <= 0 || picture.height <= 0 || source.width <= 0 ||
      source.height <= 0) {
    throw ImportError("There is no picture to place on the canvas");
  }
  const Placement placement = PlacePicture(source, fill, display, safe);
  const Size placed = placement.size;
  const Rect area = placement.area;
  // Centred: a filling picture loses as much on either side.
  const int origin_x = area.x + (area.width - placed.width) / 2;
  const int origin_y = area.y + (area.height - placed.height) / 2;
  // The canvas pixels the picture covers, within its area.
  const int left = std::max(area.x, origin_x), top = std::max(area.y, origin_y);
  const int right = std::min(area.x + area.width, origin_x + placed.width);
  const int bottom = std::min(area.y + area.height, origin_y + placed.height);

  RgbaPicture canvas(kPictureWidth, kPictureHeight);
  for (size_t i = 0; i < canvas.rgba.size(); i += 4) {
    canvas.rgba[i] = background.r;
    canvas.rgba[i + 1] = background.g;
    canvas.rgba[i + 2] = background.b;
    canvas.rgba[i + 3] = 0xFF;
  }
  if (right <= left || bottom <= top) return canvas;

  const std::vector<Taps> across =
      AxisTaps(picture.width, double(placed.width) / picture.width, left - origin_x, right - left);
  const std::vector<Taps> down =
      AxisTaps(picture.height, double(placed.height) / picture.height, top - origin_y, bottom - top);
  // The rows scaled across for the canvas row before, kept for the next one,
  // which mostly weighs the same rows.
  std::vector<std::pair<int, std::vector<Premultiplied>>> rows, next;
  for (int y = top; y < bottom; ++y) {
    next.clear();
    std::vector<Premultiplied> sum(across.size());
    for (const Tap& tap : down[static_cast<size_t>(y - top)]) {
      auto kept = std::find_if(rows.begin(), rows.end(), [&](const auto& row) { return row.first == tap.index; });
      next.emplace_back(tap.index,
                        kept != rows.end() ? std::move(kept->second) : ScaledRow(picture, tap.index, across));
      const std::vector<Premultiplied>& row = next.back().second;
      for (size_t k = 0; k < sum.size(); ++k) {
        sum[k].r += row[k].r * tap.weight;
        sum[k].g += row[k].g * tap.weight;
        sum[k].b += row[k].b * tap.weight;
        sum[k].a += row[k].a * tap.weight;
      }
    }
    std::swap(rows, next);
    uint8_t* out = canvas.Row(y) + static_cast<size_t>(left) * 4;
    for (const Premultiplied& p : sum) {
      *out++ = OverBackground(p.r, p.a, background.r);
      *out++ = OverBackground(p.g, p.a, background.g);
      *out++ = OverBackground(p.b, p.a, background.b);
      *out++ = 0xFF;
    }
  }
  return canvas;
}

}  // namespace kws
