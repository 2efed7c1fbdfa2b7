// mkusbimg200, mkusbimg300, mkusbimg400: wrap the partition image into a USB
// update image for one receiver model. The three are one operation; the
// models differ only in the constants of their row in kUsbModels.
//
// The USB header carries an image CRC of the payload and an image CRC over
// the rest of its own 4096-byte block. The block is therefore written once
// without the latter, read back for it, and the file is then written again
// in full.
#include <optional>
#include <string>

#include "fileio/file.h"
#include "format/byte_order.h"
#include "format/usb_image.h"
#include "steps/file_crc.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

// The input's length as a signed 32-bit count, or "Range check error";
// nothing when the input is larger than the model's partition.
std::optional<uint32_t> LengthThatFits(const UsbModel& model, uint64_t size) {
  const int32_t length = CheckedInt32(size);
  if (static_cast<uint32_t>(length) > model.partition_size) return std::nullopt;
  return static_cast<uint32_t>(length);
}

// The header for the input, or nothing when the input is larger than the
// model's partition. The input is closed again either way.
std::optional<UsbHeader> HeaderForInput(const UsbModel& model, const std::string& input_name) {
  InputFile input(input_name);
  const std::optional<uint32_t> length = LengthThatFits(model, input.Size());
  if (!length) return std::nullopt;
  return MakeUsbHeader(model, *length, ImageCrcOfNext(input, *length));
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

}  // namespace

int32_t mkusbimg(const UsbModel& model, const std::string& input_name, const std::string& output) {
  if (const int32_t refused = RefuseSharedFiles(model.step, {&input_name}, {&output})) return refused;
  return RunStep(model.step, [&]() -> int32_t {
    DeleteFile(output);
    std::optional<UsbHeader> header = HeaderForInput(model, input_name);
    if (!header) {
      return LogRefusal(model.step, kStepTooBig, FailureCause::kTooBig, model.too_big_line);
    }
    WriteBlockOnly(output, *header);
    PutBE32(&(*header)[usb::kHeaderCrc], ImageCrcBehindCrcField(output));
    WriteImage(input_name, *header, output);
    return kStepOk;
  });
}

int32_t mkusbimg200(const std::string& input, const std::string& output) {
  return mkusbimg(kUsbModel200, input, output);
}

int32_t mkusbimg300(const std::string& input, const std::string& output) {
  return mkusbimg(kUsbModel300, input, output);
}

int32_t mkusbimg400(const std::string& input, const std::string& output) {
  return mkusbimg(kUsbModel400, input, output);
}

int32_t in_memory::mkusbimg(const UsbModel& model, ByteView input, Bytes& output) {
  return RunStep(model.step, [&]() -> int32_t {
    if (!LengthThatFits(model, input.size())) {
      return LogRefusal(model.step, kStepTooBig, FailureCause::kTooBig, model.too_big_line);
    }
    UsbImage(model, input, output);
    return kStepOk;
  });
}

}  // namespace kws
