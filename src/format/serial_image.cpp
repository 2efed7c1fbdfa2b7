#include "format/serial_image.h"

#include <algorithm>
#include <stdexcept>

#include "format/byte_order.h"

namespace kws {

SerialHeader MakeSerialHeader(std::string_view model_name, uint32_t payload_length) {
  if (model_name.size() > serial::kMaxModelName) throw std::invalid_argument("MakeSerialHeader: name too long");
  SerialHeader header{};
  header[serial::kLeadByte] = serial::kLeadValue;
  // The bytes behind the name are already zero; a 30-character name has no
  // zero after it, because the marker byte follows it directly.
  const std::string_view name = model_name.substr(0, model_name.find('\0'));
  std::copy(name.begin(), name.end(), header.begin() + serial::kModelName);
  header[serial::kMarkerByte] = serial::kMarkerValue;
  std::fill(header.begin() + serial::kFillBeforeLength, header.begin() + serial::kPayloadLength, serial::kFillValue);
  PutBE32(&header[serial::kPayloadLength], payload_length);
  std::fill(header.begin() + serial::kFillAfterLength, header.end(), serial::kFillValue);
  return header;
}

void SerialImage(std::string_view model_name, std::span<const uint8_t> payload, std::vector<uint8_t>& image) {
  const SerialHeader header = MakeSerialHeader(model_name, static_cast<uint32_t>(payload.size()));
  image.resize(header.size() + payload.size());
  std::copy(header.begin(), header.end(), image.begin());
  std::copy(payload.begin(), payload.end(), image.begin() + serial::kHeaderSize);
}

}  // namespace kws
