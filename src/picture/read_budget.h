// The memory reading one picture may take, and the check that a picture's
// reading stays within it before its decoder starts.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <cstdint>
#include <optional>
#include <string>

#include "picture/decoder_needs.h"

namespace kws {

// The most that reading one picture may hold at once: the file's bytes when
// they are held, the picture as its decoder makes it and what the decoder
// keeps beside it. An import must never take 200 MB; the command line holds
// some 25 MB of its own (code, Qt, its plugins), and its colour choice some
// 20 MB more only once the picture read is freed. With 128 MiB (134 MB) for
// the reading and a few megabytes of rows, an import peaks near 165 MB,
// leaving 35 MB for what a Qt or library update may add. A picture decoded
// whole at 4 bytes a pixel may so have up to 33.5 million pixels; the
// readers that shrink a picture as they read it (PNG, uncompressed bitmaps,
// JPEG and WebP at a reduced scale) hold far less and take up to
// kMaxDecodedBytes / 4 pixels.
inline constexpr uint64_t kMaxReadingBytes = uint64_t{128} << 20;

// A picture to be decoded whole (by Qt's reader, or by a decoder that holds
// all of it while it shrinks it).
struct WholeReading {
  QByteArray format;                                     // as Qt names it: "tiff"
  QSize size;                                            // as stored
  QSize decoded;                                         // as decoded, smaller at a reduced scale
  QImage::Format image_format = QImage::Format_Invalid;  // the reader's, when it says
  uint64_t held_bytes = 0;                               // the file's, when they are held while it is decoded
  DecoderNeeds needs;
};

// Why the reading would take more than kMaxReadingBytes; nothing when it
// stays within.
std::optional<std::string> TooLargeToReadWhole(const WholeReading& reading);

// Why a file of this format and size is not read whole into memory; nothing
// when it may be.
std::optional<std::string> TooLargeToHold(const QByteArray& format, uint64_t bytes);

}  // namespace kws
