// Saving the picture found inside an update image as a bitmap the pipeline
// takes again, with a line in the activity log either way.
#pragma once

#include <string>

#include "fileio/destination.h"
#include "format/bitmap.h"

namespace kws {

// Writes picture, found in image, to out as target judged it (whether out may
// be replaced is CheckDestination's to say, before), marked as an extract's;
// says where it went. Throws (FileError) when it cannot be written, after
// logging why.
WrittenTo ExtractPicture(const std::string& image, const Picture8& picture, const std::string& out,
                         const DestinationCheck& target);

}  // namespace kws
