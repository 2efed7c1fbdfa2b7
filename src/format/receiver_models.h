// The receiver models that get update images: one row each, holding
// everything that tells a model's images apart. The USB header's three model
// words and its partition size are what the receivers go by; the names are
// what users and the activity log see. Adding a model is adding a row.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kws {

struct UsbModel {
  // The receiver's name as users see it, in the output names
  // ("logo_borvik200_usb_welcome.img") and in run.sh's listing.
  const char* receiver;
  // What the output names carry between the picture's name and the image's
  // kind: the receiver's name between two underscores.
  const char* tag;
  // Where the model's images come in a run, 0 first. A model whose partition
  // size equals the one before it in the run reuses that partition image.
  int run_order;
  // Header offset 32, and also the largest input the USB step takes: the
  // partition image is padded to exactly this size before it is wrapped.
  uint32_t partition_size;
  // How the partition size shows in the log's appendbin line: "$" and
  // lower-case hex digits.
  const char* partition_text;
  uint32_t model_word1;  // USB header offset 20
  uint32_t model_word2;  // USB header offset 24
  uint32_t model_word3;  // USB header offset 28
  // The name the USB header gives the image (offset 48, zero padded).
  const char* image_name;
  // The USB step's name. Its caught failures are logged as "ERROR: <step>(), Msg=...".
  const char* step;
  // Logged when the input is larger than the partition. The "mkusimg" (no
  // "b") is the line's established wording and stays as it is.
  const char* too_big_line;
  // The model name that the serial update image of this model carries.
  const char* serial_model;
};

inline constexpr std::array<UsbModel, 3> kUsbModels{{
    {"borvik200", "_borvik200_", 0, 0x30000, "$30000", 0x00010000, 0x00010000, 0xFF810000, "welcome", "mkusbimg200",
     "ERROR: mkusimg200(), Input Size too big!", "kestro100s"},
    {"kestro300", "_kestro300_", 2, 0x2C000, "$2c000", 0x00030000, 0x00010000, 0xFF804000, "welcome", "mkusbimg300",
     "ERROR: mkusimg300(), Input Size too big!", "QuorvatelMurraTwin8M"},
    {"kestro400", "_kestro400_", 1, 0x30000, "$30000", 0x00040000, 0x00010001, 0xFF810000, "welcome", "mkusbimg400",
     "ERROR: mkusimg400(), Input Size too big!", "kestro400"},
}};

inline constexpr const UsbModel& kUsbModel200 = kUsbModels[0];
inline constexpr const UsbModel& kUsbModel300 = kUsbModels[1];
inline constexpr const UsbModel& kUsbModel400 = kUsbModels[2];

inline constexpr size_t kUsbModelCount = kUsbModels.size();

// The models in the order a run makes their images.
constexpr std::array<const UsbModel*, kUsbModelCount> ModelsInRunOrder() {
  std::array<const UsbModel*, kUsbModelCount> order{};
  for (const UsbModel& model : kUsbModels) order[static_cast<size_t>(model.run_order)] = &model;
  return order;
}

constexpr uint32_t LargestPartition() {
  uint32_t largest = 0;
  for (const UsbModel& model : kUsbModels) largest = std::max(largest, model.partition_size);
  return largest;
}

constexpr uint32_t SmallestPartition() {
  uint32_t smallest = UINT32_MAX;
  for (const UsbModel& model : kUsbModels) smallest = std::min(smallest, model.partition_size);
  return smallest;
}

// ---- what every row must keep; a row that breaks it does not compile ----

namespace model_rules {

constexpr bool TagNamesTheReceiver(const UsbModel& m) {
  const std::string_view receiver = m.receiver, tag = m.tag;
  return tag.size() == receiver.size() + 2 && tag.front() == '_' && tag.back() == '_' &&
         tag.substr(1, receiver.size()) == receiver;
}

constexpr bool TextShowsThePartitionSize(const UsbModel& m) {
  const std::string_view text = m.partition_text;
  if (text.size() < 2 || text.front() != '$') return false;
  uint64_t value = 0;
  for (const char c : text.substr(1)) {
    const bool digit = c >= '0' && c <= '9', letter = c >= 'a' && c <= 'f';
    if (!digit && !letter) return false;
    value = value * 16 + static_cast<uint64_t>(digit ? c - '0' : c - 'a' + 10);
  }
  return text[1] != '0' && value == m.partition_size;
}

constexpr bool RunOrdersArePlaces() {
  std::array<int, kUsbModelCount> seen{};
  for (const UsbModel& m : kUsbModels) {
    if (m.run_order < 0 || static_cast<size_t>(m.run_order) >= kUsbModelCount) return false;
    ++seen[static_cast<size_t>(m.run_order)];
  }
  return std::all_of(seen.begin(), seen.end(), [](int n) { return n == 1; });
}

constexpr bool EveryRowKeepsTheRules() {
  return std::all_of(kUsbModels.begin(), kUsbModels.end(),
                     [](const UsbModel& m) { return TagNamesTheReceiver(m) && TextShowsThePartitionSize(m); }) &&
         RunOrdersArePlaces();
}

}  // namespace model_rules

static_assert(model_rules::EveryRowKeepsTheRules());

}  // namespace kws
