// A large PNG read a few rows at a time and shrunk while it is read, so that
// a 64-megapixel photo never stands whole in memory: each block of factor x
// factor pixels becomes one, its colours weighed by their alpha as the
// canvas's own scaling weighs them.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <optional>

namespace kws {

// The PNG the device reads from its position on, shrunk by factor (2 or
// more), or nothing when libpng cannot read it to its last row this way (an
// interlaced PNG, a damaged one): the caller then reads it whole, with its
// reader's warnings.
std::optional<QImage> ReadPngShrunk(QIODevice& device, int factor);

// The same for a PNG in memory.
std::optional<QImage> ReadPngShrunk(const QByteArray& bytes, int factor);

}  // namespace kws
