// Opaque canvases for the colour choice's tests, each pixel's colour given
// by a function of its place.
#pragma once

#include "fit/rgba_picture.h"
#include "format/bitmap.h"

namespace kws {

inline RgbaPicture Canvas(int w, int h, auto colour) {
  RgbaPicture canvas(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const Rgb c = colour(x, y);
      uint8_t* p = canvas.Row(y) + 4 * x;
      p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = 255;
    }
  }
  return canvas;
}

}  // namespace kws
