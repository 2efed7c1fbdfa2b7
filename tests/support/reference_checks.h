// Independent readings of the bytes the steps write: an image CRC worked out
// bit by bit from its definition, big-endian fields read by hand, and
// patterned data. None of it shares code with the steps under test.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/test_support.h"

namespace kws::test {

// Image CRC: reflected CRC-32 (polynomial 0xEDB88320), register starting at
// 0, final XOR 0xFFFFFFFF. One bit at a time, no table.
inline uint32_t ReferenceImageCrc(const uint8_t* data, size_t size) {
  uint32_t reg = 0;
  for (size_t i = 0; i < size; ++i) {
    reg ^= data[i];
    for (int bit = 0; bit < 8; ++bit) reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
  }
  return reg ^ 0xFFFFFFFFu;
}

// Image CRC of bytes[from] up to the end.
inline uint32_t ReferenceImageCrc(const Bytes& bytes, size_t from = 0) {
  return from >= bytes.size() ? ReferenceImageCrc(nullptr, 0)
                              : ReferenceImageCrc(bytes.data() + from, bytes.size() - from);
}

inline uint32_t ReadBE32(const Bytes& bytes, size_t at) {
  return (uint32_t{bytes.at(at)} << 24) | (uint32_t{bytes.at(at + 1)} << 16) | (uint32_t{bytes.at(at + 2)} << 8) |
         uint32_t{bytes.at(at + 3)};
}

inline Bytes BE32(uint32_t value) {
  return Bytes{static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
               static_cast<uint8_t>(value)};
}

inline void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

inline Bytes Concat(Bytes a, const Bytes& b) {
  Append(a, b);
  return a;
}

// count patterned bytes. Each run of 256 holds every value once and the
// first byte is never zero (leading zeros leave an image CRC unchanged), so
// a CRC over them notices a byte left out, added or moved.
inline Bytes Pattern(size_t count, uint8_t seed = 1) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 131 + seed * 16 + 1);
  return bytes;
}

// A file of the given size that takes no disk space, for sizes beyond what a
// signed 32-bit count holds. False when the file system cannot make one.
inline bool MakeSparseFile(const std::string& path, uint64_t size) {
  const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  if (fd < 0) return false;
  const bool sized = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  ::close(fd);
  return sized;
}

}  // namespace kws::test
