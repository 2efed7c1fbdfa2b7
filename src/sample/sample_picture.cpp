#include "sample/sample_picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

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

// A 5 x 7 capital font, enough for the texts below.
struct Glyph {
  char c;
  std::array<std::string_view, 7> rows;
};
constexpr Glyph kFont[] = {
    {'A', {".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"}},
    {'C', {".XXX.", "X...X", "X....", "X....", "X....", "X...X", ".XXX."}},
    {'D', {"XXXX.", "X...X", "X...X", "X...X", "X...X", "X...X", "XXXX."}},
    {'E', {"XXXXX", "X....", "X....", "XXXX.", "X....", "X....", "XXXXX"}},
    {'G', {".XXX.", "X...X", "X....", "X.XXX", "X...X", "X...X", ".XXXX"}},
    {'I', {".XXX.", "..X..", "..X..", "..X..", "..X..", "..X..", ".XXX."}},
    {'K', {"X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"}},
    {'L', {"X....", "X....", "X....", "X....", "X....", "X....", "XXXXX"}},
    {'O', {".XXX.", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."}},
    {'R', {"XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"}},
    {'S', {".XXXX", "X....", "X....", ".XXX.", "....X", "....X", "XXXX."}},
    {'T', {"XXXXX", "..X..", "..X..", "..X..", "..X..", "..X..", "..X.."}},
    {'V', {"X...X", "X...X", "X...X", "X...X", "X...X", ".X.X.", "..X.."}},
};

const Glyph* FindGlyph(char c) {
  for (const Glyph& g : kFont) {
    if (g.c == c) return &g;
  }
  return nullptr;  // a space
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
  // Text centred on the picture, each font dot a square of scale pixels.
  void Text(std::string_view text, int top, int scale, uint8_t index, int shadow) {
    const int advance = 6 * scale;
    int x = (p_.width - static_cast<int>(text.size()) * advance + scale) / 2;
    for (char c : text) {
      if (const Glyph* g = FindGlyph(c)) {
        for (int row = 0; row < 7; ++row)
          for (int col = 0; col < 5; ++col)
            if (g->rows[row][col] == 'X') {
              if (shadow) Block(x + col * scale + shadow, top + row * scale + shadow, scale, kShadow);
            }
        for (int row = 0; row < 7; ++row)
          for (int col = 0; col < 5; ++col)
            if (g->rows[row][col] == 'X') Block(x + col * scale, top + row * scale, scale, index);
      }
      x += advance;
    }
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
