// The receiver models that get a USB update image. The USB header's three
// model words and its partition size are what tell the models' images apart;
// everything else in the image is the same for all of them.
#pragma once

#include <array>
#include <cstdint>

namespace kws {

struct UsbModel {
  // The step's name. Its caught failures are logged as "ERROR: <step>(), Msg=...".
  const char* step;
  // Logged when the input is larger than the partition. The "mkusimg" (no
  // "b") is the line's established wording and stays as it is.
  const char* too_big_line;
  uint32_t model_word1;  // header offset 20
  uint32_t model_word2;  // header offset 24
  uint32_t model_word3;  // header offset 28
  // Header offset 32, and also the largest input the step takes: the
  // partition image is padded to exactly this size before it is wrapped.
  uint32_t partition_size;
  // The model name that the serial update image of this model carries.
  const char* serial_model;
  // The receiver as users know it, and as its images are named.
  const char* receiver;
};

inline constexpr std::array<UsbModel, 3> kUsbModels{{
    {"mkusbimg200", "ERROR: mkusimg200(), Input Size too big!", 0x00010000, 0x00010000, 0xFF810000, 0x30000, "kestro100s", "borvik200"},
    {"mkusbimg300", "ERROR: mkusimg300(), Input Size too big!", 0x00030000, 0x00010000, 0xFF804000, 0x2C000, "QuorvatelMurraTwin8M", "kestro300"},
    {"mkusbimg400", "ERROR: mkusimg400(), Input Size too big!", 0x00040000, 0x00010001, 0xFF810000, 0x30000, "kestro400", "kestro400"},
}};

inline constexpr const UsbModel& kUsbModel200 = kUsbModels[0];
inline constexpr const UsbModel& kUsbModel300 = kUsbModels[1];
inline constexpr const UsbModel& kUsbModel400 = kUsbModels[2];

}  // namespace kws
