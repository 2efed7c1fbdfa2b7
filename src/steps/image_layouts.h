// Where the fields of the system's own headers lie: the welcome image, the USB
// update image and the serial update image. Offsets count from the start of
// the file that carries the header; every number in these headers is a
// big-endian 32-bit field, written with PutBE32 and read with GetBE32.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kws {

// Welcome image: 16-byte header, then the joined colour table and gzip member.
namespace welcome {
inline constexpr size_t kCrc = 0;         // image CRC of the file's bytes 4 to the end
inline constexpr size_t kDataLength = 4;  // number of bytes behind the header
inline constexpr size_t kWordOne = 8;     // always 1
inline constexpr size_t kWordZero = 12;   // always 0
inline constexpr size_t kHeaderSize = 16;

inline constexpr uint32_t kWordOneValue = 1;
inline constexpr uint32_t kWordZeroValue = 0;

// The most data a welcome image holds: with its header it then fills the
// smaller partition (0x2C000 bytes) exactly.
inline constexpr uint32_t kMaxDataLength = 0x2BFF0;
}  // namespace welcome

// USB update image: an 80-byte "Fimg" header and zero fill make a 4096-byte
// block; the partition image follows it unchanged.
namespace usb {
inline constexpr size_t kHeaderCrc = 0;      // image CRC of block bytes 4 to 4095
inline constexpr size_t kMagic = 4;          // "Fimg"
inline constexpr size_t kHeaderLength = 8;   // 80
inline constexpr size_t kVendorTag = 12;     // 00 "QRV"
inline constexpr size_t kTag = 16;           // "stro"
inline constexpr size_t kModelWord1 = 20;    // per receiver model
inline constexpr size_t kModelWord2 = 24;
inline constexpr size_t kModelWord3 = 28;
inline constexpr size_t kPartitionSize = 32;
inline constexpr size_t kPayloadOffset = 36;  // 4096
inline constexpr size_t kPayloadLength = 40;
inline constexpr size_t kPayloadCrc = 44;     // image CRC of the payload
inline constexpr size_t kImageName = 48;      // "welcome", zero padded
inline constexpr size_t kImageNameSize = 32;
inline constexpr size_t kHeaderSize = 80;
inline constexpr size_t kBlockSize = 4096;    // header + zero fill; the payload starts here

inline constexpr std::array<uint8_t, 4> kMagicBytes{'F', 'i', 'm', 'g'};
inline constexpr std::array<uint8_t, 4> kVendorTagBytes{0x00, 'Q', 'R', 'V'};
inline constexpr std::array<uint8_t, 4> kTagBytes{'s', 't', 'r', 'o'};
inline constexpr std::array<uint8_t, 7> kImageNameBytes{'w', 'e', 'l', 'c', 'o', 'm', 'e'};
static_assert(kImageNameBytes.size() <= kImageNameSize);
}  // namespace usb

// Serial update image: a 64-byte header naming the receiver model, then the
// wrapped file unchanged. The header carries no CRC.
namespace serial {
inline constexpr size_t kLeadByte = 0;        // 01
inline constexpr size_t kModelName = 1;       // up to 30 bytes, zero padded
inline constexpr size_t kMaxModelName = 30;
inline constexpr size_t kMarkerByte = 31;     // 01
inline constexpr size_t kFillBeforeLength = 32;  // FF FF
inline constexpr size_t kPayloadLength = 34;
inline constexpr size_t kFillAfterLength = 38;   // FF up to the end of the header
inline constexpr size_t kHeaderSize = 64;

inline constexpr uint8_t kLeadValue = 0x01;
inline constexpr uint8_t kMarkerValue = 0x01;
inline constexpr uint8_t kFillValue = 0xFF;
static_assert(kModelName + kMaxModelName == kMarkerByte);
}  // namespace serial

}  // namespace kws
