// Palette pictures brought as close to a picture as their colours allow, by
// the squared differences of red, green and blue that PSNR counts: every
// pixel in its nearest colour, every colour the mean of its pixels.
#pragma once

#include "fit/rgba_picture.h"
#include "format/bitmap.h"

namespace kws {

// Every pixel of picture set to the palette entry nearest to the pixel of
// image at the same place; of entries equally near, the lowest.
void MapToNearest(const RgbaPicture& image, Picture8& picture);

// Each palette entry moved to the mean of the pixels of image that take it.
// Entries no pixel takes are dropped and the indices above them close up, so
// the palette holds only colours the picture shows.
void MoveToMeans(const RgbaPicture& image, Picture8& picture);

// The pixels mapped to the palette the picture has, then rounds of
// MoveToMeans and MapToNearest (Lloyd's), each bringing the picture closer.
void RefineColors(const RgbaPicture& image, Picture8& picture, int rounds);

}  // namespace kws
