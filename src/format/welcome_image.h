// The welcome image: a 16-byte header in front of the welcome data (the
// colour table joined with the gzip member), and the partition image, which
// is the welcome image padded to the size of a receiver's welcome partition.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "format/receiver_models.h"

namespace kws {

// Offsets count from the start of the image; every number is a big-endian
// 32-bit field.
namespace welcome {
inline constexpr size_t kCrc = 0;         // image CRC of the file's bytes 4 to the end
inline constexpr size_t kDataLength = 4;  // number of bytes behind the header
inline constexpr size_t kWordOne = 8;     // always 1
inline constexpr size_t kWordZero = 12;   // always 0
inline constexpr size_t kHeaderSize = 16;

inline constexpr uint32_t kWordOneValue = 1;
inline constexpr uint32_t kWordZeroValue = 0;

// The most data a welcome image holds: with its header it then fills the
// smallest partition (0x2C000 bytes) exactly.
inline constexpr uint32_t kMaxDataLength = SmallestPartition() - kHeaderSize;
static_assert(kMaxDataLength == 0x2BFF0);
}  // namespace welcome

// The unused end of a partition holds 0xFF bytes, never 0x00.
inline constexpr uint8_t kPartitionFill = 0xFF;

using WelcomeHeader = std::array<uint8_t, welcome::kHeaderSize>;

// The header for data_length bytes of data. Its CRC covers the header's own
// words behind the CRC field as well as the data, so it is given separately;
// 0 gives the provisional header.
WelcomeHeader MakeWelcomeHeader(uint32_t data_length, uint32_t crc = 0);

// The image CRC a header for this data carries.
uint32_t WelcomeCrc(std::span<const uint8_t> data);

// Header and data, into image, which is resized to fit and keeps its
// memory. The data must not be longer than welcome::kMaxDataLength.
void WelcomeImage(std::span<const uint8_t> data, std::vector<uint8_t>& image);

// The welcome image followed by kPartitionFill up to partition_size bytes,
// into partition, which keeps its memory; the image must not be larger than
// that.
void PartitionImage(std::span<const uint8_t> welcome_image, uint32_t partition_size, std::vector<uint8_t>& partition);

}  // namespace kws
