// A large binary PPM or PGM read a strip of rows at a time and shrunk while
// it is read (see block_sums.h), as bmp_shrink.h does for bitmaps: Qt's own
// reader holds the whole picture, 4 bytes a pixel, so a 64-megapixel PPM
// would take 256 MB. Qt's reader decodes each strip, given the file's header
// with the strip's height: its colours are those Qt gives the whole file.
#pragma once

#include <QIODevice>
#include <QImage>
#include <optional>

namespace kws {

// The binary PPM (P6) or PGM (P5) the device holds from its start, shrunk by
// factor (2 or more), or nothing when this reading does not take it (another
// kind of PNM, a header over 4 KiB) or Qt cannot read a strip, as in a file
// cut short: the caller then reads it whole, as Qt would.
std::optional<QImage> ReadPnmShrunk(QIODevice& device, int factor);

}  // namespace kws
