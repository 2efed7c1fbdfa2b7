#include "driver/image_purpose.h"

namespace kws {

std::string ImagePurpose(const OutputImage& image) {
  const std::string receiver = "the " + image.receiver + " receiver";
  if (image.usb)
    return "USB update image for " + receiver + ": copied to a USB stick, the receiver takes it from there";
  return "serial update image for " + receiver + " (serial model " + image.serial_model +
         "): sent to the receiver over its serial port from a computer";
}

}  // namespace kws
