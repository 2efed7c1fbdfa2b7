// Bitmap files: the bitmap format of format/bitmap.h read from a file, only
// as far as a reading needs, so that a file of any size can be looked at, and
// the pipeline's bitmap written to one. Here, below everything that imports,
// inspects or shows a picture, so that each of them reads and writes bitmaps
// the same way.
#pragma once

#include <optional>
#include <string>

#include "fileio/file.h"
#include "format/bitmap.h"

namespace kws {

// The picture convbmp takes from this file, read by the same rules: a
// 720 x 576, 8-bit, uncompressed bitmap with every row present. Nothing for
// any other file, or one that cannot be read.
std::optional<Picture8> ReadConvertibleBitmap(const std::string& path);

// The picture written to path as EncodeBitmap8 makes it, the file replaced
// whole or not at all: what convbmp then takes without question; marked as
// written for made_for when one is given. Throws FileError.
void WriteBitmap8(const std::string& path, const Picture8& picture, std::optional<MadeFor> made_for = std::nullopt);

}  // namespace kws
