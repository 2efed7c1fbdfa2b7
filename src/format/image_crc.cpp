#include "format/image_crc.h"

#include <zlib.h>

#include <array>
#include <cstring>

#include "file_error.h"

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

// A run this long is folded in with crc32_combine rather than byte by byte.
// Every such run holds one whole window of half its length at a multiple of
// that length, so looking at those windows alone finds them all.
constexpr size_t kLongRun = 4096;
constexpr size_t kWindow = kLongRun / 2;

// A block of one value, to compare runs against with memcmp.
class Filled {
 public:
  explicit Filled(uint8_t value) { bytes_.fill(value); }
  const uint8_t* data() const { return bytes_.data(); }
  static constexpr size_t size() { return kLongRun; }

 private:
  std::array<uint8_t, kLongRun> bytes_;
};

// Where the run of block's value that covers data[from] ends, at most size.
size_t RunEnd(const uint8_t* data, size_t from, size_t size, const Filled& block) {
  while (size - from >= block.size() && std::memcmp(data + from, block.data(), block.size()) == 0) from += block.size();
  while (from < size && data[from] == block.data()[0]) ++from;
  return from;
}

// The running value after `count` bytes of block's value, by doubling: a block's
// CRC is combined with itself, and with the running value where the count
// has a bit set.
uint32_t Crc32OfRun(uint32_t running, const Filled& block, size_t count) {
  uLong power = ::crc32_z(0, block.data(), block.size());  // CRC of `length` bytes of value
  auto length = static_cast<z_off_t>(block.size());
  uLong crc = running;
  for (size_t blocks = count / block.size(); blocks != 0; blocks >>= 1) {
    if (blocks & 1) crc = ::crc32_combine(crc, power, length);
    power = ::crc32_combine(power, power, length);
    length *= 2;
  }
  return static_cast<uint32_t>(::crc32_z(crc, block.data(), count % block.size()));
}

}  // namespace

uint32_t Crc32(uint32_t running, const uint8_t* data, size_t size) {
  uLong crc = running;
  size_t fed = 0;  // the bytes before this one are in crc
  for (size_t window = 0; window + kWindow <= size; window += kWindow) {
    const uint8_t value = data[window];
    // Most windows of a photo differ at one of their ends or in the middle.
    if (window < fed || data[window + kWindow - 1] != value || data[window + kWindow / 2] != value) continue;
    const Filled block(value);
    if (std::memcmp(data + window, block.data(), kWindow) != 0) continue;
    size_t first = window;
    while (first > fed && data[first - 1] == value) --first;
    const size_t end = RunEnd(data, window + kWindow, size, block);
    if (end - first < kLongRun) continue;
    crc = ::crc32_z(crc, data + fed, first - fed);
    crc = Crc32OfRun(static_cast<uint32_t>(crc), block, end - first);
    fed = end;
  }
  return static_cast<uint32_t>(::crc32_z(crc, data + fed, size - fed));
}

uint32_t crcstep(uint8_t byte, uint32_t reg) { return kCrcTable[(reg ^ byte) & 0xFF] ^ (reg >> 8); }

uint32_t ImageCrc(const void* data, size_t size) {
  ImageCrcAccumulator crc;
  crc.Add(data, size);
  return crc.Value();
}

void ImageCrcAccumulator::Add(const void* data, size_t size) {
  if (size == 0) return;
  running_ = Crc32(running_, static_cast<const uint8_t*>(data), size);
}

void reversebytes(void* buffer, int32_t count) {
  if (count < 0 || count > kMaxReverseCount) ThrowRangeCheck();
  auto* bytes = static_cast<uint8_t*>(buffer);
  uint8_t work[kMaxReverseCount];
  for (int32_t i = 0; i < count; ++i) work[i] = bytes[count - 1 - i];
  std::memcpy(bytes, work, static_cast<size_t>(count));
}

}  // namespace kws
