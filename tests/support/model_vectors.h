// What each receiver model's images and log lines must hold, written out here
// rather than taken from the code under test. A model added to the table of
// models (format/receiver_models.h) needs its vector here too; the model
// table test fails for a row without one.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "format/receiver_models.h"

namespace kws::test {

struct ModelVector {
  const char* receiver;     // in the output names: "logo_borvik200_usb_welcome.img"
  const char* step;         // the USB step's name
  const char* words;        // USB header bytes 20 to 35: the three model words and the partition size
  uint32_t partition_size;  // the partition image's size and the most the USB step takes
  const char* size_text;    // the partition size in the log's appendbin line
  const char* too_big;      // the USB step's line for an input over the partition
  const char* serial_name;  // the serial header's model name
  const char* image_name;   // the USB header's image name
  int run_position;         // where the model's images come in a run, 0 first
};

// In the order of the table's rows.
inline constexpr ModelVector kModelVectors[] = {
    {"borvik200", "mkusbimg200", "00010000 00010000 FF810000 00030000", 196608, "$30000",
     "ERROR: mkusimg200(), Input Size too big!", "kestro100s", "welcome", 0},
    {"kestro300", "mkusbimg300", "00030000 00010000 FF804000 0002C000", 180224, "$2c000",
     "ERROR: mkusimg300(), Input Size too big!", "QuorvatelMurraTwin8M", "welcome", 2},
    {"kestro400", "mkusbimg400", "00040000 00010001 FF810000 00030000", 196608, "$30000",
     "ERROR: mkusimg400(), Input Size too big!", "kestro400", "welcome", 1},
};

// The images a picture gets: a USB and a serial update image for every model.
inline constexpr size_t kImagesPerPicture = 2 * std::size(kModelVectors);

// The longest ending an output name gets: "_<receiver>_serial_welcome.img".
inline size_t LongestOutputEnding() {
  size_t longest = 0;
  for (const ModelVector& v : kModelVectors) {
    longest = std::max(longest, std::string("_").append(v.receiver).append("_serial_welcome.img").size());
  }
  return longest;
}

// The vector of a model of the table, by the receiver's name.
inline const ModelVector& VectorFor(const UsbModel& model) {
  for (const ModelVector& v : kModelVectors) {
    if (std::string(v.receiver) == model.receiver) return v;
  }
  ADD_FAILURE() << "no test vector for the model " << model.receiver;
  return kModelVectors[0];
}

}  // namespace kws::test
