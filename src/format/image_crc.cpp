#include "format/image_crc.h"

#include <zlib.h>

#include <array>
#include <cstring>

#include "fileio/file.h"

namespace kws {

namespace {

constexpr uint32_t kReflectedPolynomial = 0xEDB88320;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr auto kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x77073096 && kCrcTable[128] == 0xEDB88320 && kCrcTable[255] == 0x2D02EF8D);

constexpr int32_t kMaxReverseCount = 11;

}  // namespace

uint32_t crcstep(uint8_t byte, uint32_t reg) { return kCrcTable[(reg ^ byte) & 0xFF] ^ (reg >> 8); }

uint32_t ImageCrc(const void* data, size_t size) {
  ImageCrcAccumulator crc;
  crc.Add(data, size);
  return crc.Value();
}

void ImageCrcAccumulator::Add(const void* data, size_t size) {
  if (size == 0) return;
  running_ = static_cast<uint32_t>(::crc32_z(running_, static_cast<const Bytef*>(data), size));
}

void reversebytes(void* buffer, int32_t count) {
  if (count < 0 || count > kMaxReverseCount) ThrowRangeCheck();
  auto* bytes = static_cast<uint8_t*>(buffer);
  uint8_t work[kMaxReverseCount];
  for (int32_t i = 0; i < count; ++i) work[i] = bytes[count - 1 - i];
  std::memcpy(bytes, work, static_cast<size_t>(count));
}

}  // namespace kws
