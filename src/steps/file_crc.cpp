#include "steps/file_crc.h"

#include <algorithm>
#include <array>

#include "format/image_crc.h"

namespace kws {

namespace {
constexpr size_t kCrcBlockSize = 16 * 1024;
constexpr size_t kCrcFieldSize = 4;
}  // namespace

uint32_t ImageCrcOfNext(InputFile& file, uint64_t count) {
  std::array<uint8_t, kCrcBlockSize> block;
  ImageCrcAccumulator crc;
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, block.size()));
    file.Read(block.data(), n);
    crc.Add(block.data(), n);
    count -= n;
  }
  return crc.Value();
}

uint32_t ImageCrcBehindCrcField(const std::string& name) {
  InputFile file(name);
  const uint64_t size = file.Size();
  // Reading the field, not seeking past it, makes a file shorter than the
  // field a read error rather than an empty CRC.
  std::array<uint8_t, kCrcFieldSize> crc_field;
  file.Read(crc_field.data(), crc_field.size());
  return ImageCrcOfNext(file, size - crc_field.size());
}

}  // namespace kws
