#include "format/usb_image.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "format/byte_order.h"
#include "format/image_crc.h"

namespace kws {

namespace {

template <size_t N>
void PutBytes(UsbHeader& header, size_t offset, const std::array<uint8_t, N>& bytes) {
  std::copy(bytes.begin(), bytes.end(), header.begin() + static_cast<ptrdiff_t>(offset));
}

}  // namespace

UsbHeader MakeUsbHeader(const UsbModel& model, uint32_t payload_length, uint32_t payload_crc) {
  UsbHeader header{};
  PutBytes(header, usb::kMagic, usb::kMagicBytes);
  PutBE32(&header[usb::kHeaderLength], usb::kHeaderSize);
  PutBytes(header, usb::kVendorTag, usb::kVendorTagBytes);
  PutBytes(header, usb::kTag, usb::kTagBytes);
  PutBE32(&header[usb::kModelWord1], model.model_word1);
  PutBE32(&header[usb::kModelWord2], model.model_word2);
  PutBE32(&header[usb::kModelWord3], model.model_word3);
  PutBE32(&header[usb::kPartitionSize], model.partition_size);
  PutBE32(&header[usb::kPayloadOffset], usb::kBlockSize);
  PutBE32(&header[usb::kPayloadLength], payload_length);
  PutBE32(&header[usb::kPayloadCrc], payload_crc);
  const std::string_view name = model.image_name;
  std::copy(name.begin(), name.end(), header.begin() + usb::kImageName);
  return header;
}

uint32_t UsbHeaderCrc(const UsbHeader& header) {
  static constexpr std::array<uint8_t, usb::kBlockSize - usb::kHeaderSize> kZeroFill{};
  ImageCrcAccumulator crc;
  crc.Add(header.data() + usb::kMagic, header.size() - usb::kMagic);
  crc.Add(kZeroFill.data(), kZeroFill.size());
  return crc.Value();
}

void UsbImage(const UsbModel& model, std::span<const uint8_t> partition, std::vector<uint8_t>& image) {
  if (partition.size() > model.partition_size) throw std::invalid_argument("UsbImage: partition too large");
  UsbHeader header =
      MakeUsbHeader(model, static_cast<uint32_t>(partition.size()), ImageCrc(partition.data(), partition.size()));
  PutBE32(&header[usb::kHeaderCrc], UsbHeaderCrc(header));
  image.resize(usb::kBlockSize + partition.size());
  const auto fill_start = std::copy(header.begin(), header.end(), image.begin());
  std::fill(fill_start, image.begin() + usb::kBlockSize, 0x00);
  std::copy(partition.begin(), partition.end(), image.begin() + usb::kBlockSize);
}

}  // namespace kws
