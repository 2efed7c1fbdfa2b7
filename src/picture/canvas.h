// The picture on the receivers' 720 x 576 canvas, before its colours are
// reduced: read by Qt's image readers, scaled and placed.
#pragma once

#include <QImage>
#include <optional>
#include <string>

#include "steps/bitmap8.h"

namespace kws {

// Any format Qt reads, turned upright as its orientation tag says. Throws
// ImportError with the reader's reason.
QImage ReadPicture(const std::string& path);

// The size a picture of this size is scaled to: to fit 720 x 576 keeping its
// aspect ratio, or with fill to cover it; 720 x 576 itself stays as it is.
QSize PlacedSize(const QSize& source, bool fill);

// The picture scaled to fit 720 x 576, keeping its aspect ratio, and centred
// on the background; with fill, scaled to cover it and cropped to the middle.
// A picture of exactly 720 x 576 is not scaled. Transparent parts show the
// background. The result is opaque RGBA, 4 bytes a pixel.
QImage PlaceOnCanvas(const QImage& picture, const Rgb& background, bool fill);

// A canvas of at most 256 colours as exactly those colours, in the order
// they first appear; nothing for a canvas of more.
std::optional<Picture8> ExactColors(const QImage& canvas);

// Peak signal-to-noise ratio of the 8-bit picture against the canvas, in dB
// over the red, green and blue samples; infinite when they are equal.
double Psnr(const QImage& canvas, const Picture8& picture);

}  // namespace kws
