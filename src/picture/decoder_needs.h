// What a picture's decoder holds beside the picture it makes, as far as the
// file's header tells, so that a picture too large to decode within the
// import's memory is refused before its decoder starts.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QSize>
#include <cstdint>
#include <string>

namespace kws {

struct DecoderNeeds {
  // The kind of picture, for the messages ("a progressive JPEG"); empty when
  // nothing sets it apart from others of its format.
  std::string kind;
  // What the decoder keeps beside the picture it makes, whatever scale it
  // makes it at: so many bytes, and so many more for each of the picture's
  // pixels as stored.
  uint64_t extra_bytes = 0;
  uint64_t extra_bytes_a_pixel = 0;
  // The picture's size, for a format whose reader does not tell it before
  // it decodes (MNG); empty for the others.
  QSize size;
};

// Read from the device's start, which it is put back to, before the
// picture's reader starts on it. What it holds:
//  - a progressive JPEG, or one of several scans: libjpeg keeps every DCT
//    coefficient of the picture until the last scan, 64 of 2 bytes for each
//    8 x 8 block of each colour component at its own resolution (so 3 bytes
//    a pixel with the usual halved colour, 6 with colour at full
//    resolution);
//  - a TIFF: libtiff decodes a strip (or tile) at a time beside the picture
//    and holds its compressed bytes: twice a strip, the whole picture's
//    samples when it is one strip;
//  - a GIF: Qt's reader keeps a copy of the screen for the frame that is to
//    be undone, 4 bytes a pixel;
//  - a WebP: libwebp holds a lossless one's pixels at 4 bytes each, a lossy
//    one's transparency at 2 (its plane, and the plane's own lossless
//    decoding); an animation is read by Qt frame by frame beside the
//    picture, each frame as a lossless one, 8 bytes a pixel;
//  - an MNG: libmng keeps its own copies of the frame, some 3 bytes a pixel
//    beyond Qt's two.
// whole, when given, is the file's bytes, all of them (a WebP's features
// may come after its transparency).
DecoderNeeds FindDecoderNeeds(QIODevice& device, const QByteArray* whole = nullptr);

}  // namespace kws
