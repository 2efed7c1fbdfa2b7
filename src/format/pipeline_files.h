// The file names of the pipeline: what each step writes in the Temp folder
// when it runs on its own, what the log lines of a run name, and the names
// of the update images in Output.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "format/receiver_models.h"

namespace kws::files {

inline constexpr const char* kColorTable = "welcome.qv.colortable";  // R, G, B per colour
inline constexpr const char* kRawPicture = "welcome.qv.raw";         // dimensions, rows bottom first
// The pixel rows, top row first. The gzip member stores this name, so it is
// part of every image's bytes and of the welcome image's size budget.
inline constexpr const char* kPixelRows = "welcome.qv.raw2";
inline constexpr const char* kGzipMember = "welcome.qv.raw2.gz";
inline constexpr const char* kWelcomeData = "welcome.tmp";          // colour table and gzip member
inline constexpr const char* kProvisionalWelcome = "welcome.tmp2";  // welcome image with a zero CRC
inline constexpr const char* kWelcomeImage = "welcome";
inline constexpr const char* kPartitionImage = "part_welcome.img";
inline constexpr const char* kUsbImage = "usb_welcome.img";
inline constexpr const char* kSerialImage = "serial_welcome.img";

// What the clean-up after a run removes from Temp, in this order. The
// serial image is not among them: a run leaves its last one there.
inline constexpr std::array<const char*, 9> kIntermediates = {kColorTable,   kRawPicture,     kPixelRows,
                                                              kGzipMember,   kWelcomeData,    kProvisionalWelcome,
                                                              kWelcomeImage, kPartitionImage, kUsbImage};

// The two images each model gets in Output.
inline constexpr std::array<const char*, 2> kOutputKinds = {kUsbImage, kSerialImage};

// "<base><tag><kind>": "logo" + "_borvik200_" + "usb_welcome.img".
inline std::string OutputImageName(std::string_view base, const UsbModel& model, std::string_view kind) {
  std::string name(base);
  name.append(model.tag).append(kind);
  return name;
}

}  // namespace kws::files
