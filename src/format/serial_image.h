// The serial update image: a 64-byte header naming the receiver model, then
// the wrapped file (the USB update image) unchanged. The header carries the
// file's length but no CRC.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kws {

namespace serial {
inline constexpr size_t kLeadByte = 0;   // 01
inline constexpr size_t kModelName = 1;  // up to 30 bytes, zero padded
inline constexpr size_t kMaxModelName = 30;
inline constexpr size_t kMarkerByte = 31;        // 01
inline constexpr size_t kFillBeforeLength = 32;  // FF FF
inline constexpr size_t kPayloadLength = 34;     // big-endian 32-bit
inline constexpr size_t kFillAfterLength = 38;   // FF up to the end of the header
inline constexpr size_t kHeaderSize = 64;

inline constexpr uint8_t kLeadValue = 0x01;
inline constexpr uint8_t kMarkerValue = 0x01;
inline constexpr uint8_t kFillValue = 0xFF;
static_assert(kModelName + kMaxModelName == kMarkerByte);
}  // namespace serial

using SerialHeader = std::array<uint8_t, serial::kHeaderSize>;

// The header for a model name of at most 30 bytes. The name ends at its end
// or at a zero character inside it.
SerialHeader MakeSerialHeader(std::string_view model_name, uint32_t payload_length);

// Header and payload, into image, which is resized to fit and keeps its
// memory.
void SerialImage(std::string_view model_name, std::span<const uint8_t> payload, std::vector<uint8_t>& image);

}  // namespace kws
