// A large uncompressed bitmap read a strip of rows at a time and shrunk
// while it is read (see block_sums.h), so that a 64-megapixel bitmap never
// stands whole in memory, nor its file. Qt's own bitmap reader decodes each
// strip, given the file's headers, colour table and masks with the strip's
// height: its colours are those Qt gives the whole file.
#pragma once

#include <QIODevice>
#include <QImage>
#include <optional>

namespace kws {

// The bitmap the device holds from its start, shrunk by factor (2 or more),
// or nothing when this reading does not take it (run-length-coded, an OS/2
// header, pixels that start inside the colour table, headers over 1 MiB) or
// Qt cannot read a strip: the caller then reads it whole. A file that ends
// early leaves its missing rows as Qt does, empty.
std::optional<QImage> ReadBmpShrunk(QIODevice& device, int factor);

}  // namespace kws
