#include "driver/diagnosis.h"

#include <array>
#include <exception>
#include <optional>
#include <span>

#include "fileio/file.h"
#include "format/bitmap.h"
#include "format/byte_order.h"
#include "format/number_text.h"
#include "format/welcome_image.h"
#include "inspect/inspect.h"

namespace kws {

namespace {

// The failure's own text with its reason: "Cannot open file x: Permission denied".
std::string Told(const StepFailure& failure) {
  return failure.reason.empty() ? failure.text : failure.text + ": " + failure.reason;
}

std::string BitDepthNeeds8(uint16_t bit_count) {
  return "it has " + std::to_string(bit_count) + " bits per pixel, needs 8";
}

// convbmp's refusal of the header, by the rule it found broken first; a bit
// depth other than 8 is added as the cause behind a later rule.
Diagnosis FromBrokenRule(const StepFailure& failure) {
  const BitmapHeader& hdr = *failure.header;
  const std::string depth = hdr.bit_count == 8 ? "" : "; also, " + BitDepthNeeds8(hdr.bit_count);
  switch (failure.broken_rule) {
    case BitmapRule::kAtMost8Bits:
      return {"bit depth " + std::to_string(hdr.bit_count) + ", needs 8", Remedy::kImport};
    case BitmapRule::kUncompressed:
      return {"a compressed (RLE) bitmap, needs an uncompressed one" + depth, Remedy::kImport};
    case BitmapRule::kIs720x576:
      if (hdr.width == kPictureWidth && hdr.height == -kPictureHeight) {
        return {"stored top row first (height -576), needs the usual bottom-up order" + depth, Remedy::kImport};
      }
      return {std::to_string(hdr.width) + " x " + std::to_string(hdr.height) + " pixels, needs 720 x 576" + depth,
              Remedy::kImport};
    case BitmapRule::kExactly8Bits:
    case BitmapRule::kKept:
      break;
  }
  return {Told(failure), Remedy::kNone};
}

// The first bytes of the picture file, as many as there are of a bitmap's headers.
struct FileHead {
  std::array<uint8_t, bmp::kHeadersSize> bytes{};
  size_t got = 0;
  std::optional<Diagnosis> unreadable;  // the file cannot be read at all
};

FileHead ReadHead(const std::string& picture) {
  FileHead head;
  try {
    InputFile file(picture);
    head.got = file.ReadSome(head.bytes.data(), head.bytes.size());
  } catch (const std::exception& e) {
    head.unreadable = Diagnosis{LoggedText(e) + (ReasonOf(e).empty() ? "" : ": " + ReasonOf(e)), Remedy::kNone};
  }
  return head;
}

// A file that is no Windows bitmap at all: what it is instead.
std::optional<Diagnosis> NotABitmap(const FileHead& head) {
  if (head.unreadable) return head.unreadable;
  if (head.got >= 2 && head.bytes[0] == 'B' && head.bytes[1] == 'M') return std::nullopt;
  const std::string format = PictureFormatOf(std::span<const uint8_t>(head.bytes.data(), head.got));
  if (format.empty()) return Diagnosis{"not a Windows bitmap, nor a picture of a kind the import reads", Remedy::kNone};
  return Diagnosis{"it is " + format + ", not a Windows bitmap", Remedy::kImport};
}

// Not even its headers are whole: no reader makes a picture of it.
Diagnosis CutShort(size_t got) { return {"a bitmap cut short: only " + std::to_string(got) + " bytes", Remedy::kNone}; }

// What the file's first bytes say it is, when the preview could not show it
// as a bitmap.
Diagnosis FromFileHead(const std::string& picture, const StepFailure& failure) {
  const FileHead file = ReadHead(picture);
  if (std::optional<Diagnosis> other = NotABitmap(file)) return *other;
  const auto& head = file.bytes;
  const size_t got = file.got;
  if (got < head.size()) return CutShort(got);
  const uint32_t info_size = GetLE32(&head[bmp::kInfoSize]);
  if (info_size < bmp::kInfoHeaderSize) {
    return {"a bitmap with the old " + std::to_string(info_size) + "-byte header, needs the 40-byte one",
            Remedy::kImport};
  }
  // What convbmp would have refused the header for, had the chain got there.
  StepFailure behind = failure;
  try {
    behind.header = ParseBitmapHeader(head);
  } catch (const std::exception&) {
    return {"it cannot be shown as a bitmap: " + Told(failure), Remedy::kNone};
  }
  behind.broken_rule = FirstBrokenRule(*behind.header);
  if (behind.broken_rule == BitmapRule::kExactly8Bits) {
    return {"bit depth " + std::to_string(behind.header->bit_count) + ", needs 8", Remedy::kImport};
  }
  if (behind.broken_rule != BitmapRule::kKept) return FromBrokenRule(behind);
  return {"it cannot be shown as a bitmap: " + Told(failure), Remedy::kNone};
}

// A failure convbmp caught once it had read the header: rows that run out
// are the bitmap's, and a bit depth under 8 is why they run out.
Diagnosis FromConvbmpFailure(const StepFailure& failure) {
  if (!failure.header || failure.text != kStreamReadError) return {Told(failure), Remedy::kNone};
  if (failure.header->bit_count < 8) {
    return {"the rows run out: " + BitDepthNeeds8(failure.header->bit_count), Remedy::kImport};
  }
  return {"the rows run out: the bitmap is cut short", Remedy::kNone};
}

}  // namespace

Diagnosis Diagnose(const std::string& picture, const StepFailure& failure) {
  if (failure.operation == "convbmp") {
    // convbmp reads any file as a bitmap: what breaks its rules may be no bitmap at all.
    const FileHead head = ReadHead(picture);
    if (std::optional<Diagnosis> other = NotABitmap(head)) return *other;
    if (!failure.header && head.got < head.bytes.size()) return CutShort(head.got);
  }
  switch (failure.cause) {
    case FailureCause::kBrokenRule:
      if (failure.header) return FromBrokenRule(failure);
      break;
    case FailureCause::kAnotherPicture:
      // The import reads such a bitmap as viewers do, into one that converts.
      if (failure.header && failure.header->bit_count != 8) {
        return {"bit depth " + std::to_string(failure.header->bit_count) + ", needs 8", Remedy::kImport};
      }
      return {failure.text, Remedy::kImport};
    case FailureCause::kTooDetailed:
      return {"too detailed for the receivers: its colour table and compressed picture take " +
                  GroupDigits(failure.size) + " bytes, and the welcome image holds at most " +
                  GroupDigits(welcome::kMaxDataLength),
              Remedy::kImportFit};
    case FailureCause::kTooBig:
      return {"too big for the receivers' partition", Remedy::kImportFit};
    case FailureCause::kMissingInput:
      return {failure.text + " does not exist", Remedy::kNone};
    case FailureCause::kNotShown:
      return FromFileHead(picture, failure);
    case FailureCause::kCaught:
      if (failure.operation == "convbmp") return FromConvbmpFailure(failure);
      break;
    case FailureCause::kSharedFiles:
    case FailureCause::kImageSize:
    case FailureCause::kNameTooLong:
    case FailureCause::kNotAPictureFile:
    case FailureCause::kSameBaseName:
      break;
  }
  return {Told(failure), Remedy::kNone};
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
