// The USB update image: an 80-byte "Fimg" header and zero fill make a
// 4096-byte block, and the partition image follows it unchanged. The header
// carries an image CRC of the payload and one of the rest of its own block.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "format/receiver_models.h"

namespace kws {

// Offsets count from the start of the image; every number is a big-endian
// 32-bit field.
namespace usb {
inline constexpr size_t kHeaderCrc = 0;     // image CRC of block bytes 4 to 4095
inline constexpr size_t kMagic = 4;         // "Fimg"
inline constexpr size_t kHeaderLength = 8;  // 80
inline constexpr size_t kVendorTag = 12;    // 00 "QRV"
inline constexpr size_t kTag = 16;          // "stro"
inline constexpr size_t kModelWord1 = 20;   // per receiver model
inline constexpr size_t kModelWord2 = 24;
inline constexpr size_t kModelWord3 = 28;
inline constexpr size_t kPartitionSize = 32;
inline constexpr size_t kPayloadOffset = 36;  // 4096
inline constexpr size_t kPayloadLength = 40;
inline constexpr size_t kPayloadCrc = 44;  // image CRC of the payload
inline constexpr size_t kImageName = 48;   // the model's image name, zero padded
inline constexpr size_t kImageNameSize = 32;
inline constexpr size_t kHeaderSize = 80;
inline constexpr size_t kBlockSize = 4096;  // header + zero fill; the payload starts here

inline constexpr std::array<uint8_t, 4> kMagicBytes{'F', 'i', 'm', 'g'};
inline constexpr std::array<uint8_t, 4> kVendorTagBytes{0x00, 'Q', 'R', 'V'};
inline constexpr std::array<uint8_t, 4> kTagBytes{'s', 't', 'r', 'o'};
}  // namespace usb

static_assert(std::all_of(kUsbModels.begin(), kUsbModels.end(), [](const UsbModel& m) {
  return std::string_view(m.image_name).size() < usb::kImageNameSize;
}));

using UsbHeader = std::array<uint8_t, usb::kHeaderSize>;

// Every field but the header CRC, which stays zero: it covers the header.
UsbHeader MakeUsbHeader(const UsbModel& model, uint32_t payload_length, uint32_t payload_crc);

// The image CRC of the block behind its CRC field: the header's bytes from
// offset 4 and the zero fill up to 4096.
uint32_t UsbHeaderCrc(const UsbHeader& header);

// The whole image for a partition image, into image, which is resized to fit
// and keeps its memory; the partition must not be larger than the model's
// partition size.
void UsbImage(const UsbModel& model, std::span<const uint8_t> partition, std::vector<uint8_t>& image);

}  // namespace kws
