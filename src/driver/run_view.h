// What the processing driver needs from a window. The Qt window implements it
// for real; the command line and the tests implement it headless.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "steps/step_failure.h"

namespace kws {

// What became of one picture of a run: its result code and, when it failed,
// what stopped it, as the chain recorded it.
struct PictureOutcome {
  std::string picture;
  int32_t result = 0;
  std::optional<StepFailure> failure;  // set whenever result is not 0

  bool Made() const { return result == 0; }
};

class RunView {
 public:
  virtual ~RunView() = default;

  // Shows the picture file in the preview. Returns an empty string when it
  // was shown, otherwise why it cannot be shown as a picture.
  virtual std::string ShowPicture(const std::string& path) = 0;
  virtual void SetStatus(const std::string& text) = 0;
  // Lets the window repaint and run pending commands.
  virtual void ProcessEvents() = 0;
  virtual void SetGoEnabled(bool enabled) = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  // Why a batch should stop before its next picture ("stopped by signal
  // SIGTERM", a Cancel button), or empty to go on. Asked between pictures,
  // so that the current one always ends cleanly.
  virtual std::string StopRequested() { return {}; }
  // A picture of a run has ended (made, or failed and why), including one
  // refused before the pipeline started.
  virtual void PictureDone(const PictureOutcome& /*outcome*/) {}
  // An update image of the current picture has taken its name in Output:
  // these are its bytes as written and read back, while the run still holds
  // the working folders, so a report of them cannot describe another run's.
  virtual void ImageWritten(const std::string& /*path*/, std::span<const uint8_t> /*bytes*/) {}
  // A batch passed over an Input entry that is no picture file (a folder, a
  // pipe, a dangling link), for this reason.
  virtual void EntrySkipped(const std::string& /*name*/, const std::string& /*why*/) {}
  // A batch is about to process its picture number index (from 1) of total.
  virtual void PictureStarting(int /*index*/, int /*total*/, const std::string& /*picture*/) {}
};

// A window that shows nothing and takes every file as a picture: for runs
// with no window at all (benchmarks, fuzzing, tests of what lies below it).
class NullRunView : public RunView {
 public:
  std::string ShowPicture(const std::string&) override { return {}; }
  void SetStatus(const std::string&) override {}
  void ProcessEvents() override {}
  void SetGoEnabled(bool) override {}
  void SetBusyCursor(bool) override {}
  void ShowMessage(const std::string&) override {}
};

}  // namespace kws
