// Bitmaps the receivers' chain refuses, one of each kind: every rule convbmp
// checks, a file that is not there, one cut short, and bitmaps with a bit
// depth under 8 that break a rule of their own first. Each front door's
// reason for one of them must name what the log's first error line names.
#pragma once

#include <string>
#include <vector>

#include "support/test_support.h"

namespace kws::test {

struct RefusedBitmap {
  std::string name;
  Bytes bytes;         // nothing: no file of that name at all
  std::string logged;  // part of the first error line the chain logs
  std::string reason;  // part of the reason every front door gives
};

std::vector<RefusedBitmap> RefusedBitmaps();

// A 720 x 576 bitmap of 4 bits per pixel, run-length compressed (RLE4).
Bytes Rle4Bitmap();

}  // namespace kws::test
