// Saving the picture found inside an update image as a bitmap the pipeline
// takes again, with a line in the activity log either way.
#pragma once

#include <string>

#include "format/bitmap.h"

namespace kws {

// Writes picture, found in image, to out, marked as an extract's (whether
// out may be replaced is CheckDestination's to say, before). Throws (FileError) when it cannot be
// written, after logging why.
void ExtractPicture(const std::string& image, const Picture8& picture, const std::string& out);

}  // namespace kws
