// The image CRC that the welcome and USB headers carry, and the byte-order
// reversal behind every big-endian field.
//
// The image CRC is the reflected CRC-32 of IEEE 802.3 with one difference:
// the register starts at 0, not 0xFFFFFFFF (final XOR 0xFFFFFFFF as usual).
// "123456789" gives 0xD202D277. It equals zlib's crc32 with 0xFFFFFFFF as
// the running value, which is how bulk data is fed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kws {

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
