// The layers from the outside in: serial header, USB header block, partition
// image, welcome header, then the colour table and gzip member. Each layer is
// checked in full before the next one inside it is read, and the first fault
// ends the reading.
#include "inspect/inspect.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>

#include "fileio/file.h"
#include "format/byte_order.h"
#include "format/image_crc.h"
#include "format/receiver_models.h"
#include "format/serial_image.h"
#include "format/usb_image.h"
#include "format/welcome_image.h"
#include "inspect/fault.h"
#include "inspect/welcome_data.h"

namespace kws {

namespace {

using inspect::Bytes;
using inspect::Dec;
using inspect::ExpectFill;
using inspect::Fail;
using inspect::Hex32;
using inspect::HexBytes;
using inspect::Quoted;
using Layers = std::vector<std::string>;
// What a sound image holds: the welcome data's content.
using Content = std::shared_ptr<const inspect::WelcomeContent>;

// What a reading collects as it goes in, and the decode cache it may use.
struct Reading {
  Layers& layers;
  WelcomeDecodeCache* cache;
};

bool IsPartitionSize(uint64_t size) {
  return std::any_of(kUsbModels.begin(), kUsbModels.end(),
                     [size](const UsbModel& model) { return model.partition_size == size; });
}

template <size_t N>
bool HasBytes(Bytes bytes, size_t at, const std::array<uint8_t, N>& expected) {
  return at + N <= bytes.size() &&
         std::equal(expected.begin(), expected.end(), bytes.begin() + static_cast<ptrdiff_t>(at));
}

void ExpectBytes(Bytes bytes, size_t at, Bytes expected, std::string_view layer, std::string_view field) {
  const Bytes found = bytes.subspan(at, expected.size());
  if (!std::equal(expected.begin(), expected.end(), found.begin(), found.end())) {
    Fail(layer, field, HexBytes(expected), HexBytes(found));
  }
}

Bytes BytesOf(std::string_view text) { return {reinterpret_cast<const uint8_t*>(text.data()), text.size()}; }

void ExpectBE32(Bytes bytes, size_t at, uint32_t expected, std::string_view layer, std::string_view field) {
  const uint32_t found = GetBE32(&bytes[at]);
  if (found != expected) Fail(layer, field, Dec(expected), Dec(found));
}

// A length field counts exactly the bytes behind its header.
void ExpectFollowing(Bytes bytes, size_t at, size_t follows, std::string_view layer, std::string_view field) {
  const uint32_t found = GetBE32(&bytes[at]);
  if (found != follows) Fail(layer, field, Dec(follows) + " (the bytes that follow)", Dec(found));
}

// A CRC field holds the image CRC of what it covers; returns that CRC.
uint32_t ExpectCrc(Bytes bytes, size_t at, Bytes covered, std::string_view layer, std::string_view field) {
  const uint32_t crc = ImageCrc(covered.data(), covered.size());
  const uint32_t found = GetBE32(&bytes[at]);
  if (found != crc) Fail(layer, field, Hex32(crc), Hex32(found));
  return crc;
}

void ExpectByte(Bytes bytes, size_t at, uint8_t expected, std::string_view layer, std::string_view field) {
  if (bytes[at] != expected) Fail(layer, field, HexBytes(Bytes(&expected, 1)), HexBytes(bytes.subspan(at, 1)));
}

// ---- recognition ----

// Two of the four fixed fields of a USB header are enough to tell one, so
// that a damaged field is reported as such rather than as an unknown file.
bool LooksLikeUsb(Bytes bytes) {
  const std::array<uint8_t, 4> header_length{0, 0, 0, usb::kHeaderSize};
  const int matches =
      int{HasBytes(bytes, usb::kMagic, usb::kMagicBytes)} + int{HasBytes(bytes, usb::kHeaderLength, header_length)} +
      int{HasBytes(bytes, usb::kVendorTag, usb::kVendorTagBytes)} + int{HasBytes(bytes, usb::kTag, usb::kTagBytes)};
  return matches >= 2;
}

bool LooksLikeSerialHeader(Bytes bytes) {
  return bytes.size() >= serial::kHeaderSize && bytes[serial::kLeadByte] == serial::kLeadValue &&
         bytes[serial::kMarkerByte] == serial::kMarkerValue;
}

bool LooksLikeWelcome(Bytes bytes) {
  return bytes.size() >= welcome::kHeaderSize && GetBE32(&bytes[welcome::kWordOne]) == welcome::kWordOneValue &&
         GetBE32(&bytes[welcome::kWordZero]) == welcome::kWordZeroValue;
}

// ---- welcome image ----

Content ReadWelcome(Bytes image, Reading& reading) {
  constexpr std::string_view kLayer = "welcome header";
  if (image.size() < welcome::kHeaderSize) {
    Fail(kLayer, "size", "at least " + Dec(welcome::kHeaderSize) + " bytes", Dec(image.size()) + " bytes");
  }
  const size_t follows = image.size() - welcome::kHeaderSize;
  ExpectFollowing(image, welcome::kDataLength, follows, kLayer, "data length");
  ExpectBE32(image, welcome::kWordOne, welcome::kWordOneValue, kLayer, "word at byte 8");
  ExpectBE32(image, welcome::kWordZero, welcome::kWordZeroValue, kLayer, "word at byte 12");
  if (follows > welcome::kMaxDataLength) {
    Fail(kLayer, "data length", "at most " + Dec(welcome::kMaxDataLength), Dec(follows));
  }
  const uint32_t crc = ExpectCrc(image, welcome::kCrc, image.subspan(welcome::kDataLength), kLayer, "CRC");
  reading.layers.push_back("welcome image: " + Dec(image.size()) + " bytes, data " + Dec(follows) + " of at most " +
                           Dec(welcome::kMaxDataLength) + " bytes, CRC " + Hex32(crc) + " matches");
  Content content = inspect::ReadWelcomeData(image.subspan(welcome::kHeaderSize), reading.cache);
  reading.layers.insert(reading.layers.end(), content->layers.begin(), content->layers.end());
  return content;
}

// ---- partition image ----

Content ReadPartition(Bytes partition, uint32_t partition_size, Reading& reading) {
  if (partition.size() != partition_size) {
    Fail("partition image", "size", Dec(partition_size) + " bytes", Dec(partition.size()) + " bytes");
  }
  // A welcome header is what the partition starts with; its length says
  // where the padding begins.
  const uint64_t room = partition.size() - welcome::kHeaderSize;
  const uint32_t data_length = GetBE32(&partition[welcome::kDataLength]);
  if (data_length > room) {
    Fail("welcome header", "data length", "at most " + Dec(room) + " (the partition's room)", Dec(data_length));
  }
  const size_t used = welcome::kHeaderSize + data_length;
  ExpectFill(partition, used, partition.size(), 0xFF, "partition image", "padding");
  reading.layers.push_back("partition image: " + Dec(partition.size()) + " bytes, uses " + Dec(used) + " of " +
                           Dec(partition.size()) + " bytes, the rest is FF");
  return ReadWelcome(partition.first(used), reading);
}

// ---- USB update image ----

const UsbModel& FindModel(Bytes block) {
  const auto words = std::array<uint32_t, 4>{GetBE32(&block[usb::kModelWord1]), GetBE32(&block[usb::kModelWord2]),
                                             GetBE32(&block[usb::kModelWord3]), GetBE32(&block[usb::kPartitionSize])};
  std::string known;
  for (const UsbModel& model : kUsbModels) {
    if (words ==
        std::array<uint32_t, 4>{model.model_word1, model.model_word2, model.model_word3, model.partition_size}) {
      return model;
    }
    known += known.empty() ? "those of " : ", ";
    known += model.step;
  }
  Fail("USB header", "model words and partition size", known,
       Hex32(words[0]) + " " + Hex32(words[1]) + " " + Hex32(words[2]) + " " + Hex32(words[3]));
}

// Every field of the header block but the CRCs; returns the model.
const UsbModel& CheckUsbFields(Bytes image, std::string_view layer) {
  ExpectBytes(image, usb::kMagic, usb::kMagicBytes, layer, "magic");
  ExpectBE32(image, usb::kHeaderLength, usb::kHeaderSize, layer, "header length");
  ExpectBytes(image, usb::kVendorTag, usb::kVendorTagBytes, layer, "vendor tag");
  ExpectBytes(image, usb::kTag, usb::kTagBytes, layer, "tag");
  const UsbModel& model = FindModel(image);
  ExpectBE32(image, usb::kPayloadOffset, usb::kBlockSize, layer, "payload offset");
  ExpectFollowing(image, usb::kPayloadLength, image.size() - usb::kBlockSize, layer, "payload length");
  const Bytes image_name = BytesOf(model.image_name);
  ExpectBytes(image, usb::kImageName, image_name, layer, "image name");
  ExpectFill(image, usb::kImageName + image_name.size(), usb::kImageName + usb::kImageNameSize, 0x00, layer,
             "image name padding");
  ExpectFill(image, usb::kHeaderSize, usb::kBlockSize, 0x00, layer, "zero fill");
  return model;
}

// Checks the 4096-byte header block; returns the model it is for. The CRCs
// come last, so that a damaged field is named rather than only its CRC.
const UsbModel& ReadUsbHeader(Bytes image, Reading& reading) {
  constexpr std::string_view kLayer = "USB header";
  if (image.size() < usb::kBlockSize) {
    Fail(kLayer, "size", "at least " + Dec(usb::kBlockSize) + " bytes", Dec(image.size()) + " bytes");
  }
  const UsbModel& model = CheckUsbFields(image, kLayer);
  const Bytes block_behind_crc = image.subspan(usb::kMagic, usb::kBlockSize - usb::kMagic);
  const uint32_t header_crc = ExpectCrc(image, usb::kHeaderCrc, block_behind_crc, kLayer, "header CRC");
  const Bytes payload = image.subspan(usb::kBlockSize);
  const uint32_t payload_crc = ExpectCrc(image, usb::kPayloadCrc, payload, kLayer, "payload CRC");
  reading.layers.push_back("USB update image: model " + std::string(model.step) + ", partition " +
                           Dec(model.partition_size) + " bytes, payload " + Dec(payload.size()) +
                           " bytes, header CRC " + Hex32(header_crc) + " and payload CRC " + Hex32(payload_crc) +
                           " match");
  return model;
}

Content ReadUsb(Bytes image, Reading& reading) {
  const UsbModel& model = ReadUsbHeader(image, reading);
  return ReadPartition(image.subspan(usb::kBlockSize), model.partition_size, reading);
}

// ---- serial update image ----

// The name runs up to its first zero byte; only zero bytes may follow it.
std::string ReadSerialModelName(Bytes header) {
  const Bytes field = header.subspan(serial::kModelName, serial::kMaxModelName);
  const auto end = std::find(field.begin(), field.end(), uint8_t{0});
  const size_t length = static_cast<size_t>(end - field.begin());
  ExpectFill(header, serial::kModelName + length, serial::kMarkerByte, 0x00, "serial header", "model name padding");
  return std::string(field.begin(), end);
}

Content ReadSerial(Bytes image, Reading& reading) {
  constexpr std::string_view kLayer = "serial header";
  if (image.size() < serial::kHeaderSize) {
    Fail(kLayer, "size", "at least " + Dec(serial::kHeaderSize) + " bytes", Dec(image.size()) + " bytes");
  }
  ExpectByte(image, serial::kLeadByte, serial::kLeadValue, kLayer, "lead byte");
  const std::string name = ReadSerialModelName(image);
  ExpectByte(image, serial::kMarkerByte, serial::kMarkerValue, kLayer, "marker byte");
  ExpectFill(image, serial::kFillBeforeLength, serial::kPayloadLength, serial::kFillValue, kLayer, "fill");
  ExpectFill(image, serial::kFillAfterLength, serial::kHeaderSize, serial::kFillValue, kLayer, "fill");
  const size_t follows = image.size() - serial::kHeaderSize;
  ExpectFollowing(image, serial::kPayloadLength, follows, kLayer, "payload length");
  reading.layers.push_back("serial update image: model name " + Quoted(name) + ", payload " + Dec(follows) + " bytes");
  const Bytes payload = image.subspan(serial::kHeaderSize);
  const UsbModel& model = ReadUsbHeader(payload, reading);
  if (name != model.serial_model) {
    Fail(kLayer, "model name", Quoted(model.serial_model) + " (the name for " + model.step + ")", Quoted(name));
  }
  return ReadPartition(payload.subspan(usb::kBlockSize), model.partition_size, reading);
}

// ---- the whole file ----

Content ReadAnyImage(Bytes file, Reading& reading) {
  if (file.size() > kMaxUpdateImageSize) {
    Fail("file", "too large", "at most " + Dec(kMaxUpdateImageSize) + " bytes", Dec(file.size()) + " bytes");
  }
  // Strongest evidence first: a USB header behind a serial header's room.
  if (file.size() >= serial::kHeaderSize && LooksLikeUsb(file.subspan(serial::kHeaderSize)))
    return ReadSerial(file, reading);
  if (LooksLikeUsb(file)) return ReadUsb(file, reading);
  if (LooksLikeSerialHeader(file)) return ReadSerial(file, reading);
  if (LooksLikeWelcome(file)) {
    if (IsPartitionSize(file.size())) return ReadPartition(file, static_cast<uint32_t>(file.size()), reading);
    return ReadWelcome(file, reading);
  }
  Fail("file", "format", "a serial update image, USB update image, partition image or welcome image", "none of these");
}

// The report of a reading; the picture is copied out only when wanted.
template <class Read>
InspectReport Report(WelcomeDecodeCache* cache, bool with_picture, Read&& read) {
  InspectReport report;
  try {
    Reading reading{report.layers, cache};
    const Content content = read(reading);
    if (with_picture) report.picture = content->picture;
  } catch (const inspect::Fault& fault) {
    report.fault = fault.what();
  } catch (const FileError& error) {
    report.fault = error.what();
    report.unreadable = true;
  }
  return report;
}

// The file's bytes; one larger than any update image is refused unread.
std::vector<uint8_t> ReadCapped(const std::string& path) {
  InputFile in(path);
  const uint64_t size = in.Size();
  if (size > kMaxUpdateImageSize) {
    Fail("file", "too large", "at most " + Dec(kMaxUpdateImageSize) + " bytes", Dec(size) + " bytes");
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  size_t got = 0;
  while (got < bytes.size()) {
    const size_t n = in.ReadSome(bytes.data() + got, bytes.size() - got);
    if (n == 0) break;
    got += n;
  }
  bytes.resize(got);
  return bytes;
}

// What a sound image is, and for which model; the recognition is the same
// that chose how to read it.
void Classify(Bytes file, InspectReport& report) {
  if (!report.Sound()) {
    if (report.layers.empty()) report.looks_like = PictureFormatOf(file);
    return;
  }
  if (file.size() >= serial::kHeaderSize && LooksLikeUsb(file.subspan(serial::kHeaderSize))) {
    report.kind = ImageKind::kSerial;
    report.model = &FindModel(file.subspan(serial::kHeaderSize));
  } else if (LooksLikeUsb(file)) {
    report.kind = ImageKind::kUsb;
    report.model = &FindModel(file);
  } else if (IsPartitionSize(file.size())) {
    report.kind = ImageKind::kPartition;
  } else {
    report.kind = ImageKind::kWelcome;
  }
}

}  // namespace

InspectReport InspectImage(std::span<const uint8_t> bytes, WelcomeDecodeCache* cache) {
  InspectReport report = Report(cache, true, [&](Reading& reading) { return ReadAnyImage(bytes, reading); });
  Classify(bytes, report);
  return report;
}

InspectReport InspectFile(const std::string& path, WelcomeDecodeCache* cache) {
  std::vector<uint8_t> bytes;
  InspectReport unread;
  try {
    bytes = ReadCapped(path);
    return InspectImage(bytes, cache);
  } catch (const inspect::Fault& fault) {
    unread.fault = fault.what();
  } catch (const FileError& error) {
    unread.fault = error.what();
    unread.unreadable = true;
    return unread;
  }
  // Too large to be an image: a picture given by mistake is still told.
  try {
    std::array<uint8_t, 16> head{};
    InputFile in(path);
    unread.looks_like = PictureFormatOf(std::span<const uint8_t>(head.data(), in.ReadSome(head.data(), head.size())));
  } catch (const FileError&) {
  }
  return unread;
}

std::string FindFault(const std::string& path, WelcomeDecodeCache* cache) {
  return Report(cache, false, [&](Reading& reading) { return ReadAnyImage(ReadCapped(path), reading); }).fault;
}

std::string PictureFormatOf(std::span<const uint8_t> head) {
  const auto starts = [&](std::string_view magic) {
    return head.size() >= magic.size() && std::equal(magic.begin(), magic.end(), head.begin(),
                                                     [](char m, uint8_t h) { return static_cast<uint8_t>(m) == h; });
  };
  using namespace std::string_view_literals;
  if (starts("BM"sv)) return "a Windows bitmap";
  if (starts("\x89PNG"sv)) return "a PNG picture";
  if (starts("\xFF\xD8\xFF"sv)) return "a JPEG picture";
  if (starts("GIF8"sv)) return "a GIF picture";
  if (starts("RIFF"sv) && head.size() >= 12 && std::equal(head.begin() + 8, head.begin() + 12, "WEBP")) {
    return "a WebP picture";
  }
  if (starts("II*\0"sv) || starts("MM\0*"sv)) return "a TIFF picture";
  if (starts("<?xml"sv) || starts("<svg"sv)) return "an SVG picture";
  return {};
}

std::string ImageKindText(ImageKind kind) {
  switch (kind) {
    case ImageKind::kSerial:
      return "serial update image";
    case ImageKind::kUsb:
      return "USB update image";
    case ImageKind::kPartition:
      return "partition image";
    case ImageKind::kWelcome:
    case ImageKind::kNone:
      break;
  }
  return "welcome image";
}

namespace {

// What to do with a picture given to the inspector: make its images, or for
// a picture of another kind import it first.
std::string PictureAdvice(bool bitmap, AdviceWords words) {
  if (words == AdviceWords::kPage) {
    return bitmap ? "drop it on 1 Your picture to make its update images"
                  : "drop it on 1 Your picture, which imports it and makes its update images";
  }
  return bitmap ? "use make" : "import it, then use make";
}

}  // namespace

std::string VerdictLine(const InspectReport& report, AdviceWords words) {
  if (!report.Sound()) {
    if (report.looks_like == "a Windows bitmap") {
      return "this is a bitmap, not an update image \u2014 " + PictureAdvice(true, words);
    }
    if (!report.looks_like.empty()) {
      return "this is " + report.looks_like + ", not an update image \u2014 " + PictureAdvice(false, words);
    }
    if (report.unreadable) return "cannot be read: " + report.fault;
    return "DAMAGED \u2014 do not flash: " + report.fault;
  }
  std::string line = "sound \u2014 " + ImageKindText(report.kind);
  if (report.model) {
    line += std::string(" for ") + report.model->receiver + " (serial model " + report.model->serial_model + ")";
  }
  if (report.picture) {
    line += ", picture " + std::to_string(report.picture->width) + " \u00d7 " + std::to_string(report.picture->height) +
            ", " + std::to_string(report.picture->palette.size()) + " colours";
  }
  return line;
}

std::vector<std::string> ReportText(const InspectReport& report) {
  std::vector<std::string> text = report.layers;
  text.push_back(report.Sound() ? "sound" : "fault: " + report.fault);
  return text;
}

}  // namespace kws
