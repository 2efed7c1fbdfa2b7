// The built-in sample welcome screen: what the preview shows before a picture
// is opened, and what ./run.sh converts when it is given no picture.
#pragma once

#include "format/bitmap.h"

namespace kws {

// A 720 x 576, 8-bit picture: a planet with an orbit ring on a night-blue
// gradient and the title "KESTRO". It fits the smaller partition easily.
Picture8 MakeSamplePicture();

}  // namespace kws
