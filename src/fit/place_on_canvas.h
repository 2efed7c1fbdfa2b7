// The picture on the receivers' 720 x 576 canvas, before its colours are
// reduced: scaled for the TV and placed on the background. Plain RGBA bytes
// without Qt, so that the desktop programs (reading pictures with Qt) and the
// browser page (reading them with the browser) place a picture alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "fit/placement.h"
#include "fit/rgba_picture.h"
#include "format/bitmap.h"

namespace kws {

// Decoded pixels where they are: 8-bit red, green, blue and alpha (not
// premultiplied), row_bytes apart, top row first. Or, with row set, made a
// few rows at a time as they are asked for, so that a picture decoded in
// another form never stands whole in this one as well: the placing asks for
// each row it needs once, top to bottom, and keeps a row's pointer only until
// it asks for the next.
struct RgbaPixels {
  const uint8_t* rgba = nullptr;
  int width = 0;
  int height = 0;
  size_t row_bytes = 0;
  std::function<const uint8_t*(int y)> row;
};

inline RgbaPixels PixelsOf(const RgbaPicture& picture) {
  return RgbaPixels{picture.rgba.data(), picture.width, picture.height, picture.RowBytes(), {}};
}

// The picture, whose own size is source (it may have been read at a reduced
// scale), placed as PlacePicture says: scaled to keep its proportions on the
// display, fitted into (or with fill covering) the safe area, centred in it,
// nothing outside it but background. Shrinking averages the pixels each
// canvas pixel covers; enlarging interpolates between the nearest four.
// Only the part that stays visible is scaled: a 1 x 10000 line filling the
// canvas is scaled from a few of its pixels. Colours are weighed by their
// alpha, and transparent parts show the background. A picture of exactly
// 720 x 576 is not scaled. The result is opaque. Throws ImportError for an
// empty picture.
RgbaPicture PlaceOnCanvas(const RgbaPixels& picture, const Size& source, const Rgb& background, bool fill,
                          Display display, SafeArea safe);

}  // namespace kws
