// mkusbimg200, mkusbimg300, mkusbimg400: wrap the partition image into a USB
// update image for one receiver model. The three are one operation; the
// models differ only in the constants of their row in kUsbModels.
//
// The USB header carries an image CRC of the payload and an image CRC over
// the rest of its own 4096-byte block. The block is therefore written once
// without the latter, read back for it, and the file is then written again
// in full.
#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "fileio/file.h"
#include "steps/be_fields.h"
#include "steps/file_crc.h"
#include "steps/image_layouts.h"
#include "steps/receiver_models.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

using UsbHeader = std::array<uint8_t, usb::kHeaderSize>;

template <size_t N>
void PutBytes(UsbHeader& header, size_t offset, const std::array<uint8_t, N>& bytes) {
  std::copy(bytes.begin(), bytes.end(), header.begin() + static_cast<ptrdiff_t>(offset));
}

// Everything but the header CRC, which stays zero until the block is read back.
UsbHeader BuildHeader(const UsbModel& model, uint32_t payload_length, uint32_t payload_crc) {
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
  PutBytes(header, usb::kImageName, usb::kImageNameBytes);
  return header;
}

// The header for the input, or nothing when the input is larger than the
// model's partition. The input is closed again either way.
std::optional<UsbHeader> HeaderForInput(const UsbModel& model, const std::string& input_name) {
  InputFile input(input_name);
  const int32_t length = CheckedInt32(input.Size());
  if (static_cast<uint32_t>(length) > model.partition_size) return std::nullopt;
  const uint32_t payload_crc = ImageCrcOfNext(input, static_cast<uint32_t>(length));
  return BuildHeader(model, static_cast<uint32_t>(length), payload_crc);
}

void WriteHeaderBlock(OutputFile& out, const UsbHeader& header) {
  out.Write(header.data(), header.size());
  out.WriteFill(0x00, usb::kBlockSize - usb::kHeaderSize);
}

// First write: the block alone, so that its CRC can be read back from disk.
void WriteBlockOnly(const std::string& output, const UsbHeader& header) {
  OutputFile out(output);
  WriteHeaderBlock(out, header);
  out.Close();
}

// Second write: the finished block, then the whole input unchanged.
void WriteImage(const std::string& input_name, const UsbHeader& header, const std::string& output) {
  InputFile payload(input_name);
  const int32_t length = CheckedInt32(payload.Size());
  OutputFile out(output);
  WriteHeaderBlock(out, header);
  CopyBytes(payload, out, static_cast<uint32_t>(length));
  out.Close();
}

int32_t MakeUsbImage(const UsbModel& model, const std::string& input_name, const std::string& output) {
  if (const int32_t refused = RefuseSharedFiles(model.step, {&input_name}, {&output})) return refused;
  return RunStep(model.step, [&]() -> int32_t {
    DeleteFile(output);
    std::optional<UsbHeader> header = HeaderForInput(model, input_name);
    if (!header) {
      WriteLog(model.too_big_line);
      return kStepTooBig;
    }
    WriteBlockOnly(output, *header);
    PutBE32(&(*header)[usb::kHeaderCrc], ImageCrcBehindCrcField(output));
    WriteImage(input_name, *header, output);
    return kStepOk;
  });
}

}  // namespace

int32_t mkusbimg200(const std::string& input, const std::string& output) {
  return MakeUsbImage(kUsbModel200, input, output);
}

int32_t mkusbimg300(const std::string& input, const std::string& output) {
  return MakeUsbImage(kUsbModel300, input, output);
}

int32_t mkusbimg400(const std::string& input, const std::string& output) {
  return MakeUsbImage(kUsbModel400, input, output);
}

}  // namespace kws
