// The CRC-32 every format carries: the image CRC of the welcome and USB
// headers, the gzip trailer's CRC; and the byte-order reversal behind every
// big-endian field.
//
// The image CRC is the reflected CRC-32 of IEEE 802.3 with one difference:
// the register starts at 0, not 0xFFFFFFFF (final XOR 0xFFFFFFFF as usual).
// "123456789" gives 0xD202D277. It equals zlib's crc32 with 0xFFFFFFFF as
// the running value, which is how bulk data is fed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kws {

// zlib's crc32 (running value in, running value out), the same to the bit,
// but quick over long runs of one byte value: the padding of a partition
// image, the flat areas of a logo. Every CRC of the formats goes through it.
uint32_t Crc32(uint32_t running, const uint8_t* data, size_t size);

// One byte through the table: table[(reg ^ byte) & 0xFF] ^ (reg >> 8).
uint32_t crcstep(uint8_t byte, uint32_t reg);

// Image CRC of a whole buffer.
uint32_t ImageCrc(const void* data, size_t size);

// Image CRC fed piece by piece; Value() is the CRC of everything added.
class ImageCrcAccumulator {
 public:
  void Add(const void* data, size_t size);
  uint32_t Value() const { return running_; }

 private:
  uint32_t running_ = 0xFFFFFFFF;  // zlib's running value for a zero register
};

// Reverses the first count bytes of buffer in place. Counts 0 and 1 change
// nothing; a count outside 0..11 throws "Range check error" untouched.
void reversebytes(void* buffer, int32_t count);

}  // namespace kws
