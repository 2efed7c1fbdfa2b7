// What stopped a picture's chain, kept as data. The activity log's line is
// written from it, exactly as the step has always written it; the command
// line, JSON, the window and the page word their reasons from the record,
// never from the log's text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "format/bitmap.h"

namespace kws {

enum class FailureCause {
  kCaught,           // a failure raised and caught; text is its message ("Stream read error")
  kMissingInput,     // the step's input file is not there
  kSharedFiles,      // an output is one of the inputs, or another output
  kBrokenRule,       // convbmp refused the header: broken_rule says which rule
  kAnotherPicture,   // convbmp's rows are not the picture viewers show of the file
  kImageSize,        // rawconv: the raw picture's dimensions are not 720 x 576
  kTooDetailed,      // addheader: colour table and compressed picture over the welcome image's room
  kTooBig,           // appendbin or a USB step: over the partition
  kNameTooLong,      // mkserialimg: the model name
  kNotAPictureFile,  // ProcessFile: not a regular file, or far too large for a bitmap
  kNotShown,         // ProcessFile: the preview cannot show the file as a bitmap
  kSameBaseName,     // a run refused a second picture whose images would replace the first's
};

struct StepFailure {
  std::string operation{};  // the step or operation its line names: "convbmp", "ProcessFile", "CopyFile"
  int32_t code = 0;         // the result code it ended with
  FailureCause cause = FailureCause::kCaught;
  // The failure's own text, as the line gives it after "Msg=" (the
  // platform's text, "Cannot open file x"), or the step's own words.
  std::string text{};
  // The system's reason behind it, which the log leaves out ("Permission
  // denied"); empty when there is none.
  std::string reason{};
  // convbmp's reading of the header, once it got that far: the first rule
  // it found broken and the header it read.
  BitmapRule broken_rule = BitmapRule::kKept;
  std::optional<BitmapHeader> header{};
  uint64_t size = 0;   // kTooDetailed: the bytes of colour table and compressed picture
  std::string line{};  // the log line, as written

  // The line with its reason: what a user is told when nothing plainer fits.
  std::string Told() const { return reason.empty() ? line : line + ": " + reason; }
};

// Writes the failure's line to the activity log (with its reason as the
// entry's note) and keeps the failure in the innermost FailureRecord, as its
// first when it has none yet. Never throws.
void LogStepFailure(StepFailure failure) noexcept;

// Collects the first failure logged on this thread while it lives and is
// the innermost record: a run's record keeps what stopped the run itself,
// each picture's record within it what stopped that picture.
class FailureRecord {
 public:
  FailureRecord();
  ~FailureRecord();
  FailureRecord(const FailureRecord&) = delete;
  FailureRecord& operator=(const FailureRecord&) = delete;

  const std::optional<StepFailure>& first() const { return first_; }
  void Keep(StepFailure failure);

 private:
  FailureRecord* outer_;
  std::optional<StepFailure> first_;
};

}  // namespace kws
