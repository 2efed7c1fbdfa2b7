// A second reading of a bitmap, independent of convbmp's: the one picture
// viewers, browsers and painting programs show. It follows the header's own
// sizes and offsets: the colour entries right behind the info header (as many
// as fit before the pixel data), the pixel rows from the pixel-data offset,
// each row as many bytes as its bit count needs.
//
// convbmp reads the file in order, colour entries then rows, and a legal but
// unusual bitmap can give it other pixels than the ones every viewer shows.
// The images would then be sound and hold a picture nobody chose, so the two
// readings are compared and such a bitmap is refused.
#pragma once

#include <string>

#include "format/bitmap.h"

namespace kws {

// How every such reason begins.
inline constexpr const char* kAnotherPicturePrefix = "Bitmap would be read as another picture: ";

// Why convbmp's reading of bitmap (complete, read from source) would make
// images of another picture than the viewers' reading of the same bytes;
// empty when the two give the same colour for every pixel.
//
// A bit count other than 8 is always another picture: the rows would be read
// as 8-bit rows. Where the header's pixel-data offset is impossible (inside
// the headers, or past the end of the file) viewers disagree among
// themselves, and the sequential reading is the one that holds.
std::string AnotherPictureThanViewersShow(const ByteSource& source, const StoredBitmap& bitmap);

}  // namespace kws
