// What each update image is for, in one sentence: the words the window, the
// page and the page's zip note share. They name the way a receiver takes the
// image, never the steps of an update, which are the receiver's manual's.
#pragma once

#include <string>

#include "driver/driver.h"

namespace kws {

// "USB update image for the borvik200 receiver: copied to a USB stick, the
// receiver takes it from there"
std::string ImagePurpose(const OutputImage& image);

// Said once after the images' purposes.
inline constexpr const char* kUpdateWays =
    "Both images of a receiver carry the same welcome screen: use the one for the way your receiver is updated. "
    "Your receiver\u2019s own manual names the steps of the update.";

}  // namespace kws
