#include "format/welcome_image.h"

#include <algorithm>
#include <stdexcept>

#include "format/byte_order.h"
#include "format/image_crc.h"

namespace kws {

WelcomeHeader MakeWelcomeHeader(uint32_t data_length, uint32_t crc) {
  WelcomeHeader header{};
  PutBE32(&header[welcome::kCrc], crc);
  PutBE32(&header[welcome::kDataLength], data_length);
  PutBE32(&header[welcome::kWordOne], welcome::kWordOneValue);
  PutBE32(&header[welcome::kWordZero], welcome::kWordZeroValue);
  return header;
}

uint32_t WelcomeCrc(std::span<const uint8_t> data) {
  const WelcomeHeader provisional = MakeWelcomeHeader(static_cast<uint32_t>(data.size()));
  ImageCrcAccumulator crc;
  crc.Add(provisional.data() + welcome::kDataLength, provisional.size() - welcome::kDataLength);
  crc.Add(data.data(), data.size());
  return crc.Value();
}

void WelcomeImage(std::span<const uint8_t> data, std::vector<uint8_t>& image) {
  if (data.size() > welcome::kMaxDataLength) throw std::invalid_argument("WelcomeImage: too much data");
  const WelcomeHeader header = MakeWelcomeHeader(static_cast<uint32_t>(data.size()), WelcomeCrc(data));
  image.resize(header.size() + data.size());
  std::copy(header.begin(), header.end(), image.begin());
  std::copy(data.begin(), data.end(), image.begin() + welcome::kHeaderSize);
}

void PartitionImage(std::span<const uint8_t> welcome_image, uint32_t partition_size, std::vector<uint8_t>& partition) {
  if (welcome_image.size() > partition_size) throw std::invalid_argument("PartitionImage: image too large");
  partition.resize(partition_size);
  const auto fill_start = std::copy(welcome_image.begin(), welcome_image.end(), partition.begin());
  std::fill(fill_start, partition.end(), kPartitionFill);
}

}  // namespace kws
