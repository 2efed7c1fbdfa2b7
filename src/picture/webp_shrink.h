// A large WebP decoded by libwebp at a reduced scale: its rescaler averages
// the pixels each one of the smaller picture covers while it decodes, so
// that the whole picture never stands in memory at its own size (a lossy
// one; a lossless one holds its pixels while it decodes, see
// decoder_needs.h).
#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

namespace kws {

// The WebP in bytes decoded at 1 / factor of its size (factor 2 or more),
// rounded up, or nothing when libwebp cannot decode it so (an animation, a
// damaged file): the caller then reads it whole.
std::optional<QImage> ReadWebpShrunk(const QByteArray& bytes, int factor);

}  // namespace kws
