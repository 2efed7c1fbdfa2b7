// Reads an update image back: recognises what a file is by its content
// (serial update image, USB update image, partition image or bare welcome
// image), checks every layer inside it against what the steps write, and
// unpacks the picture. No layer is trusted before it has been checked.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "format/advice_words.h"
#include "format/bitmap.h"
#include "format/receiver_models.h"
#include "format/serial_image.h"
#include "format/usb_image.h"
#include "format/welcome_image.h"
#include "inspect/welcome_data.h"

namespace kws {

// The largest file that can be an update image: a serial update image of the
// largest partition. Anything larger is refused before it is read.
inline constexpr uint64_t kMaxUpdateImageSize = serial::kHeaderSize + usb::kBlockSize + LargestPartition();

// What a file was recognised as.
enum class ImageKind { kNone, kSerial, kUsb, kPartition, kWelcome };

struct InspectReport {
  ImageKind kind = ImageKind::kNone;  // set for a sound image
  // The receiver model a serial or USB update image is for; null otherwise.
  const UsbModel* model = nullptr;
  // For a file that is no update image at all: what it looks like instead
  // ("a Windows bitmap", "a PNG picture"), when that can be told.
  std::string looks_like;
  // The file could not be read at all (missing, not a regular file, ...).
  bool unreadable = false;
  // What each sound layer holds, outermost first, one line each.
  std::vector<std::string> layers;
  // The first fault found, naming the layer, the field, the expected and the
  // found value; empty when the image is sound.
  std::string fault;
  // The picture inside, when the image is sound.
  std::optional<Picture8> picture;

  bool Sound() const { return fault.empty(); }
};

// Inspects a file's bytes. Never throws for any content. With a cache, welcome
// data that decoded sound before is not decoded again.
InspectReport InspectImage(std::span<const uint8_t> bytes, WelcomeDecodeCache* cache = nullptr);

// Inspects a file; one that cannot be read, or is larger than any update
// image, is a fault. Only the file's own size is ever allocated for it.
InspectReport InspectFile(const std::string& path, WelcomeDecodeCache* cache = nullptr);

// The fault InspectFile finds in a file, or empty when it is sound; the
// picture is checked but not handed out.
std::string FindFault(const std::string& path, WelcomeDecodeCache* cache = nullptr);

// The report as shown to a user: the layer lines, then "sound" or the fault.
std::vector<std::string> ReportText(const InspectReport& report);

// What a file's first bytes say it is, for a picture that is no update image:
// "a Windows bitmap", "a PNG picture", ...; empty when they say nothing.
std::string PictureFormatOf(std::span<const uint8_t> head);

// What users call an image of this kind: "USB update image", ...
std::string ImageKindText(ImageKind kind);

// The verdict in one line, for users deciding whether to flash:
// "sound — USB update image for borvik200 (serial model kestro100s), picture
// 720 × 576, 125 colours", "DAMAGED — do not flash: <fault>", or for a
// picture "this is a bitmap, not an update image — use make" (what to do
// next in the front end's words).
std::string VerdictLine(const InspectReport& report, AdviceWords words = AdviceWords::kCommandLine);

}  // namespace kws
