#include "driver/diagnosis.h"

#include <algorithm>
#include <array>
#include <exception>
#include <span>

#include "fileio/file.h"
#include "format/bitmap.h"
#include "format/byte_order.h"
#include "format/number_text.h"
#include "format/viewer_reading.h"
#include "format/welcome_image.h"
#include "inspect/inspect.h"

namespace kws {

namespace {

// The message of a logged error line: what follows "Msg=", else "ERROR: ".
std::string MessageOf(const std::string& line) {
  if (const size_t msg = line.find("Msg="); msg != std::string::npos) return line.substr(msg + 4);
  if (const size_t msg = line.find("MSG="); msg != std::string::npos) return line.substr(msg + 4);
  return line.rfind("ERROR: ", 0) == 0 ? line.substr(7) : line;
}

// What the first error says about a picture whose header was fine.
Diagnosis FromErrorLine(const std::string& first_error) {
  constexpr std::string_view kTooBig = "raw file is too big! Size=";
  if (const size_t at = first_error.find(kTooBig); at != std::string::npos) {
    const std::string size = first_error.substr(at + kTooBig.size());
    uint64_t bytes = 0;
    try {
      bytes = std::stoull(size);
    } catch (const std::exception&) {
    }
    return {"too detailed for the receivers: its colour table and compressed picture take " + GroupDigits(bytes) +
                " bytes, and the welcome image holds at most " + GroupDigits(welcome::kMaxDataLength),
            Remedy::kImportFit};
  }
  if (first_error.find("Input Size too big!") != std::string::npos ||
      first_error.find("input is too big!") != std::string::npos) {
    return {"too big for the receivers' partition", Remedy::kImportFit};
  }
  // The import reads such a bitmap as viewers do, into one that converts.
  if (first_error.find(kAnotherPicturePrefix) != std::string::npos) {
    return {MessageOf(first_error), Remedy::kImport};
  }
  return {MessageOf(first_error), Remedy::kNone};
}

}  // namespace

Diagnosis DiagnosePicture(const std::string& picture, const std::string& first_error) {
  std::array<uint8_t, bmp::kHeadersSize> head{};
  size_t got = 0;
  try {
    InputFile file(picture);
    got = file.ReadSome(head.data(), head.size());
  } catch (const std::exception& e) {
    return {MessageOf(first_error.empty() ? e.what() : first_error), Remedy::kNone};
  }
  if (got < 2 || head[0] != 'B' || head[1] != 'M') {
    const std::string format = PictureFormatOf(std::span<const uint8_t>(head.data(), got));
    if (format.empty()) return {"not a Windows bitmap, nor a picture of a kind the import reads", Remedy::kNone};
    return {"it is " + format + ", not a Windows bitmap", Remedy::kImport};
  }
  if (got < head.size()) return {"a bitmap cut short: only " + std::to_string(got) + " bytes", Remedy::kImport};
  const uint32_t info_size = GetLE32(&head[bmp::kInfoSize]);
  if (info_size < bmp::kInfoHeaderSize) {
    return {"a bitmap with the old " + std::to_string(info_size) + "-byte header, needs the 40-byte one",
            Remedy::kImport};
  }
  const uint16_t bit_count = GetLE16(&head[bmp::kBitCount]);
  const uint32_t compression = GetLE32(&head[bmp::kCompression]);
  const auto width = static_cast<int32_t>(GetLE32(&head[bmp::kWidth]));
  const auto height = static_cast<int32_t>(GetLE32(&head[bmp::kHeight]));
  if (bit_count != 8) return {"bit depth " + std::to_string(bit_count) + ", needs 8", Remedy::kImport};
  if (compression != 0) return {"a compressed (RLE) bitmap, needs an uncompressed one", Remedy::kImport};
  if (width == kPictureWidth && height == -kPictureHeight) {
    return {"stored top row first (height -576), needs the usual bottom-up order", Remedy::kImport};
  }
  if (width != kPictureWidth || height != kPictureHeight) {
    return {std::to_string(width) + " x " + std::to_string(height) + " pixels, needs 720 x 576", Remedy::kImport};
  }
  return FromErrorLine(first_error);
}

std::string RemedyAdvice(Remedy remedy) {
  switch (remedy) {
    case Remedy::kImport:
      return "import it into a 720 x 576, 8-bit bitmap that fits the receivers";
    case Remedy::kImportFit:
      return "import it to fit, with fewer colours or less dithering";
    case Remedy::kNone:
      break;
  }
  return {};
}

}  // namespace kws
