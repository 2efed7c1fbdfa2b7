// The data behind the welcome header: the picture's colour table and its gzip
// member, joined without anything between them.
#pragma once

#include <string>
#include <vector>

#include "inspect/fault.h"
#include "format/bitmap.h"

namespace kws::inspect {

struct WelcomeContent {
  Picture8 picture;
  std::vector<std::string> layers;  // colour table, gzip member, picture
};

// Finds where the colour table ends and the gzip member begins, checks both
// and decodes the picture. Throws Fault.
WelcomeContent ReadWelcomeData(Bytes data);

}  // namespace kws::inspect
