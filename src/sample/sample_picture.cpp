#include "sample/sample_picture.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "sample/dot_font.h"

namespace kws {

namespace {

// Palette layout: a band of shades per element.
constexpr int kSkyFirst = 0, kSkyShades = 64;
constexpr int kPlanetFirst = 64, kPlanetShades = 32;
constexpr int kRingFirst = 96, kRingShades = 16;
constexpr int kWhite = 112, kShadow = 113, kSubtitle = 114;

Rgb Mix(Rgb a, Rgb b, double t) {
  const auto m = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(std::lround(x + (y - x) * t)); };
  return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

std::vector<Rgb> MakePalette() {
  std::vector<Rgb> p(256, Rgb{0, 0, 0});
  for (int i = 0; i < kSkyShades; ++i) p[kSkyFirst + i] = Mix({4, 8, 32}, {18, 70, 110}, i / 63.0);
  for (int i = 0; i < kPlanetShades; ++i) p[kPlanetFirst + i] = Mix({6, 30, 48}, {120, 220, 230}, i / 31.0);
  for (int i = 0; i < kRingShades; ++i) p[kRingFirst + i] = Mix({150, 60, 10}, {255, 190, 80}, i / 15.0);
  p[kWhite] = {250, 250, 255};
  p[kShadow] = {2, 4, 16};
  p[kSubtitle] = {160, 200, 225};
  return p;
}

class Canvas {
 public:
  explicit Canvas(Picture8& p) : p_(p) {}
  void Set(int x, int y, uint8_t index) {
    if (x >= 0 && y >= 0 && x < p_.width && y < p_.height) p_.pixels[static_cast<size_t>(y) * p_.width + x] = index;
  }
  void Block(int x, int y, int size, uint8_t index) {
    for (int dy = 0; dy < size; ++dy)
      for (int dx = 0; dx < size; ++dx) Set(x + dx, y + dy, index);
  }
  // Text centred on the picture, each font dot a square of scale pixels;
  // the shadow (if any) lies that many pixels right and down, under it.
  void Text(std::string_view text, int top, int scale, uint8_t index, int shadow) {
    const int x = (p_.width - DotTextWidth(text, scale)) / 2;
    if (shadow) {
      ForEachDot(text, x + shadow, top + shadow, scale, [&](int dx, int dy) { Block(dx, dy, scale, kShadow); });
    }
    ForEachDot(text, x, top, scale, [&](int dx, int dy) { Block(dx, dy, scale, index); });
  }

 private:
  Picture8& p_;
};

void PaintSky(Picture8& p) {
  for (int y = 0; y < p.height; ++y) {
    const auto shade = static_cast<uint8_t>(kSkyFirst + y * (kSkyShades - 1) / (p.height - 1));
    std::fill_n(p.pixels.begin() + static_cast<ptrdiff_t>(y) * p.width, p.width, shade);
  }
}

// A lit sphere with a tilted ring: the ring's far half passes behind it.
void PaintPlanet(Picture8& p, Canvas& canvas) {
  constexpr double cx = 360, cy = 190, radius = 95;
  constexpr double ring_a = 190, ring_b = 42, ring_width = 0.11;
  for (int y = 0; y < p.height / 2 + 60; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const double dx = (x - cx) / radius, dy = (y - cy) / radius;
      const double ex = (x - cx) / ring_a, ey = (y - cy) / ring_b;
      const double ring = std::sqrt(ex * ex + ey * ey);
      const bool on_ring = std::abs(ring - 1.0) < ring_width;
      const bool on_planet = dx * dx + dy * dy <= 1.0;
      if (on_ring && (y > cy || !on_planet)) {
        const double t = 1.0 - std::abs(ring - 1.0) / ring_width;
        canvas.Set(x, y, static_cast<uint8_t>(kRingFirst + std::lround(t * (kRingShades - 1))));
      } else if (on_planet) {
        // Light from the upper left.
        const double dz = std::sqrt(std::max(0.0, 1.0 - dx * dx - dy * dy));
        const double light = std::clamp(0.15 + 0.85 * (-0.5 * dx - 0.55 * dy + 0.67 * dz), 0.0, 1.0);
        canvas.Set(x, y, static_cast<uint8_t>(kPlanetFirst + std::lround(light * (kPlanetShades - 1))));
      }
    }
  }
}

}  // namespace

Picture8 MakeSamplePicture() {
  Picture8 p;
  p.palette = MakePalette();
  p.pixels.assign(kPictureBytes, 0);
  Canvas canvas(p);
  PaintSky(p);
  PaintPlanet(p, canvas);
  canvas.Text("KESTRO", 330, 12, kWhite, 5);
  canvas.Text("DIGITAL SATELLITE RECEIVER", 452, 3, kSubtitle, 0);
  return p;
}

}  // namespace kws
