// The processing driver: the per-picture pipeline (ProcessFile) and the
// one-click run that processes the opened picture or every bitmap in Input.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/run_view.h"
#include "driver/startup.h"
#include "inspect/welcome_data.h"

namespace kws {

inline constexpr const char* kStatusDone = "done! see log for details...";
inline constexpr const char* kStatusDoneWithErrors = "done with errors! see log for details...";
inline constexpr const char* kStatusNoMoreFiles = "no more files to process! see log for details...";

// What a one-click run did, for callers that report it (the command line).
struct RunSummary {
  int pictures = 0;                        // ProcessFile calls
  int failed = 0;                          // of those, results other than 0; with the pictures refused before it
  int skipped = 0;                         // Input entries that are no picture file (folders, pipes, broken links)
  bool error = false;                      // an error that stopped the run itself
  std::string stopped;                     // why the batch stopped early (a signal, Cancel), else empty
  std::optional<StepFailure> run_failure;  // that error, as recorded
};

// True for a name a batch run takes from Input: one that ends in ".bmp", in
// any letter case.
bool HasBmpExtension(const std::string& name);

// Reads a written image back from the disk before it takes its name in
// Output: empty when it is sound, else the fault found in it.
using ImageCheck = std::function<std::string(const std::string& path)>;

// The inspector's verdict on the file; with the run's cache, the welcome data
// that all of a run's images share is decoded once.
std::string CheckUpdateImage(const std::string& path);
std::string CheckUpdateImage(const std::string& path, WelcomeDecodeCache& cache);

// The bytes the steps of a run pass on, kept from picture to picture.
struct ChainBytes;

class Driver {
 public:
  Driver(RunView& view, WorkingFolders folders);
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // Turns one picture into the two update images of every receiver model in
  // Output. Returns 0, the code of the first step that failed, -1 for an
  // empty path or -99. A relative path is taken from the current folder.
  // Throws only when the working directory cannot be restored.
  int32_t ProcessFile(const std::string& picture);
  // ProcessFile with its outcome as the chain recorded it.
  PictureOutcome ProcessPicture(const std::string& picture);

  // The one-click button: the opened picture if there is one, else every
  // *.bmp in Input. Never throws.
  RunSummary RunOneClick();

  // The named pictures, one after the other under one lock, as a batch
  // treats them: a second picture with a base name already made is refused,
  // and a stop request ends the run before the next picture. Never throws.
  RunSummary RunPictures(const std::vector<std::string>& pictures);

  void SetOpenedPicture(const std::string& path) { opened_picture_ = path; }
  // Replaces the read-back of written images (by default CheckUpdateImage
  // with a decode cache of each picture's run).
  void SetImageCheck(ImageCheck check) { image_check_ = std::move(check); }
  const std::string& OpenedPicture() const { return opened_picture_; }
  const WorkingFolders& Folders() const { return folders_; }

 private:
  int32_t RunChain(const std::string& picture, const std::string& base_name, const ImageCheck& check);
  RunSummary RunBatch();
  // Runs ProcessFile on one picture of a run, unless its base name was made
  // earlier in the same run; counts it and reports it to the view.
  void RunOne(const std::string& path, const std::string& shown_name, RunSummary& summary,
              std::map<std::string, std::string>& made_from);
  template <class Body>
  RunSummary Guarded(Body&& body);
  // Temporary copies an interrupted run (a kill, a power cut) left in Output.
  void RemoveLeftovers();

  RunView& view_;
  WorkingFolders folders_;
  std::string opened_picture_;
  ImageCheck image_check_;  // empty: the default check
  // A batch reuses this memory for every picture instead of asking the
  // system for fresh pages each time.
  std::unique_ptr<ChainBytes> bytes_;
};

// The picture's file name without folder and last extension.
std::string BaseName(const std::string& path);

// One of the six update images a picture makes.
struct OutputImage {
  std::string path;          // in the Output folder
  std::string receiver;      // the receiver model users know ("borvik200")
  std::string serial_model;  // the model name its serial image carries
  bool usb = true;           // the USB update image, else the serial one
};

// The update images a picture of this base name makes, in the order they are made.
std::vector<OutputImage> OutputImages(const std::string& output_folder, const std::string& base_name);

// A failed picture's images in Output, by path: those its run wrote before
// it failed, and older ones under its names that an earlier run left. Output
// only grows, so both stay; the user is told which is which.
struct ImagesLeft {
  std::vector<std::string> made;
  std::vector<std::string> older;
};
ImagesLeft ImagesLeftBy(const std::string& output_folder, const std::string& base_name,
                        const std::vector<std::string>& made);
// The same in words, for the picture's failure report; empty when Output
// holds none of its images.
std::string ImagesLeftText(const ImagesLeft& left);

}  // namespace kws
