// The picture on the receivers' 720 x 576 canvas, before its colours are
// reduced: read by Qt's image readers, scaled and placed.
#pragma once

#include <QByteArray>
#include <QImage>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fit/rgba_picture.h"
#include "format/bitmap.h"
#include "picture/tv_display.h"

namespace kws {

// The largest picture file the import reads.
inline constexpr uint64_t kMaxPictureFileBytes = uint64_t{256} << 20;
// The largest picture it decodes: 256 MiB at 4 bytes a pixel (67 million
// pixels, a 9,000 x 7,000 photo), whatever the file's own depth, and no side
// longer than a million pixels.
inline constexpr uint64_t kMaxDecodedBytes = uint64_t{256} << 20;
inline constexpr int kMaxPictureSide = 1'000'000;

// A picture as its reader gave it, and what was wrong with its data when the
// reader could still make a picture of it (a cut-short JPEG, say).
struct DecodedPicture {
  QImage image;
  std::vector<std::string> warnings;
  QSize size;  // the picture's own, upright; the image is smaller when read at a reduced scale
};

// The size a picture of this size (upright) is to be scaled to.
using TargetSize = std::function<QSize(const QSize& source)>;

// Any format Qt reads, turned upright as its orientation tag says. Only a
// regular file is read. Throws ImportError with the reason. With a target, a
// JPEG is read at the smallest of 1/8, 1/4 and 1/2 of its size that is
// still no smaller than the target (libjpeg leaves out the detail while it
// decodes, several times quicker than reading it all), or whole; an SVG
// larger than the target is drawn at the target's size. Before any reader
// sees the bytes they are checked (see decode_checks.h); a file cut short is
// warned of in DecodedPicture::warnings.
DecodedPicture ReadPicture(const std::string& path, const TargetSize& target = {});

// The same for a picture file's bytes; name is for the messages.
DecodedPicture DecodePicture(const QByteArray& bytes, const std::string& name, const TargetSize& target = {});

// The formats Qt's readers take, as "bmp, gif, jpeg, ...".
std::string ReadableFormats();

// The size a picture of this size is scaled to: to fit 720 x 576 keeping its
// aspect ratio, or with fill to cover it; 720 x 576 itself stays as it is.
QSize PlacedSize(const QSize& source, bool fill);

// The picture scaled to fit 720 x 576, keeping its aspect ratio, and centred
// on the background; with fill, scaled to cover it and cropped to the middle.
// Only the part that stays visible is scaled. A picture of exactly 720 x 576
// is not scaled. Transparent parts show the background. The result is opaque
// RGBA, 4 bytes a pixel. Throws ImportError when Qt cannot make an image.
QImage PlaceOnCanvas(const QImage& picture, const Rgb& background, bool fill);

// The same for a picture shown on a display (see PlacePicture): scaled to keep
// its proportions there, fitted into (or covering) the safe area, centred in
// it, and nothing outside it but background.
QImage PlaceOnCanvas(const QImage& picture, const Rgb& background, bool fill, Display display, SafeArea safe);

// The same for a picture read at a reduced scale: placed where the picture
// at its own size (source) would be.
QImage PlaceOnCanvas(const QImage& picture, const QSize& source, const Rgb& background, bool fill, Display display,
                     SafeArea safe);

// The image's pixels as the colour choice takes them.
RgbaPicture ToRgba(const QImage& image);

// The canvas's pixels as a Qt image (RGBA, 4 bytes a pixel). Throws
// ImportError when Qt cannot make an image.
QImage ToQImage(const RgbaPicture& picture);

}  // namespace kws
