// The one-click run: the opened picture, or every bitmap in the Input folder.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <map>
#include <vector>

#include "driver/driver.h"
#include "driver/run_lock.h"
#include "fileio/file.h"
#include "log/activity_log.h"
#include "steps/step_result.h"

namespace kws {

bool HasBmpExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".bmp";
}

namespace {

struct InputEntry {
  std::string name;
  std::string not_a_picture_file;  // why it is skipped; empty for a regular file (or a link to one)
  bool folder = false;             // a folder: skipped without a word in the log
};

// Why an Input entry cannot be read as a picture file, or empty when it can.
std::string WhyNotAPictureFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    return errno == ELOOP ? "it is a link that loops" : "it is a link to nothing" + ReasonSuffix(errno);
  }
  if (S_ISREG(st.st_mode)) return {};
  return NotRegularFileReason(st.st_mode);
}

// The Input folder's *.bmp entries (any letter case), sorted by name.
std::vector<InputEntry> ListInput(const std::string& folder) {
  std::vector<InputEntry> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!HasBmpExtension(name)) continue;
    std::error_code ec;
    entries.push_back({name, WhyNotAPictureFile(entry.path().string()), entry.is_directory(ec)});
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return entries;
}

}  // namespace

void Driver::RunOne(const std::string& path, const std::string& shown_name, RunSummary& summary,
                    std::map<std::string, std::string>& made_from) {
  // Each base name makes six output names; a second picture with the same
  // base name (logo.BMP after logo.bmp) would silently replace the first's.
  const auto [earlier, first_of_its_name] = made_from.emplace(BaseName(path), shown_name);
  if (!first_of_its_name) {
    FailureRecord record;
    const std::string words = "Input file " + PrintableName(shown_name) +
                              " skipped: its images would replace those of " + PrintableName(earlier->second) +
                              ", made in this run under the same names " + PrintableName(earlier->first) +
                              "_...; rename one of them";
    LogStepFailure({.operation = "OneClick",
                    .code = kStepFailed,
                    .cause = FailureCause::kSameBaseName,
                    .text = words,
                    .line = "ERROR: " + words});
    ++summary.failed;
    view_.PictureDone({path, kStepFailed, record.first()});
    return;
  }
  ++summary.pictures;
  const PictureOutcome outcome = ProcessPicture(path);
  if (!outcome.Made()) ++summary.failed;
  view_.PictureDone(outcome);
}

RunSummary Driver::RunBatch() {
  RunSummary summary;
  std::string current;
  std::map<std::string, std::string> made_from;
  try {
    const std::vector<InputEntry> entries = ListInput(folders_.input);
    const int total = static_cast<int>(std::count_if(entries.begin(), entries.end(), [](const InputEntry& entry) {
      return entry.name.front() != '.' && entry.not_a_picture_file.empty();
    }));
    int index = 0;
    for (const InputEntry& entry : entries) {
      current = entry.name;
      view_.ProcessEvents();
      // Names beginning with "." are hidden files on this platform.
      if (entry.name.front() == '.') continue;
      if (!entry.not_a_picture_file.empty()) {
        // The batch passes folders over silently; an entry no folder can be
        // (a pipe, a device, a dangling link) is worth a line.
        if (!entry.folder) {
          WriteLog("WARNING: Input file " + PrintableName(entry.name) + " skipped: " + entry.not_a_picture_file);
        }
        view_.EntrySkipped(entry.name, entry.not_a_picture_file);
        ++summary.skipped;
        continue;
      }
      if (summary.stopped = view_.StopRequested(); !summary.stopped.empty()) {
        WriteLog("MultiProcessing: " + summary.stopped + ", before " + PrintableName(entry.name));
        break;
      }
      if (made_from.count(BaseName(entry.name)) == 0) {
        WriteLog("MultiProcessing: Input file " + PrintableName(entry.name));
      }
      view_.PictureStarting(++index, total, entry.name);
      RunOne(folders_.input + "/" + entry.name, entry.name, summary, made_from);
    }
  } catch (const std::exception& e) {
    const std::string text = LoggedText(e);
    LogStepFailure({.operation = "MultiProcessing",
                    .code = kStepFailed,
                    .text = text,
                    .reason = ReasonOf(e),
                    .line = "ERROR: MultiProcessing(" + PrintableName(current) + "), MSG=" + text});
    summary.error = true;
  }
  view_.SetStatus(kStatusNoMoreFiles);
  view_.ProcessEvents();
  return summary;
}

void Driver::RemoveLeftovers() {
  const int removed = RemoveStaleTemporaries(folders_.output);
  if (removed > 0) {
    WriteLog("Removed " + std::to_string(removed) + " unfinished temporary file" + (removed == 1 ? "" : "s") +
             " left in Output by an interrupted run");
  }
}

// The lock, the busy state and the error handling around every run.
template <class Body>
RunSummary Driver::Guarded(Body&& body) {
  RunSummary summary;
  FailureRecord record;
  view_.SetGoEnabled(false);
  view_.SetBusyCursor(true);
  try {
    const RunLock lock(folders_.temp);
    // Holding the lock, nothing of ours is writing there now.
    RemoveLeftovers();
    summary = body();
    view_.SetGoEnabled(true);
    view_.SetBusyCursor(false);
  } catch (const std::exception& e) {
    view_.SetGoEnabled(true);
    view_.SetBusyCursor(false);
    const std::string text = LoggedText(e);
    view_.SetStatus("ERROR: " + text);
    LogStepFailure({.operation = "OneClick",
                    .code = kStepFailed,
                    .text = text,
                    .reason = ReasonOf(e),
                    .line = "ERROR: OneClick(), Msg=" + text});
    summary.error = true;
  }
  if (summary.error) summary.run_failure = record.first();
  return summary;
}

RunSummary Driver::RunOneClick() {
  return Guarded([this] {
    if (opened_picture_.empty()) return RunBatch();
    RunSummary summary;
    // A picture opened and since deleted is quietly not processed.
    if (FileExists(opened_picture_)) {
      summary.pictures = 1;
      const PictureOutcome outcome = ProcessPicture(opened_picture_);
      summary.failed = outcome.Made() ? 0 : 1;
      view_.PictureDone(outcome);
    }
    return summary;
  });
}

RunSummary Driver::RunPictures(const std::vector<std::string>& pictures) {
  return Guarded([&] {
    RunSummary summary;
    std::map<std::string, std::string> made_from;
    for (const std::string& picture : pictures) {
      if (summary.stopped = view_.StopRequested(); !summary.stopped.empty()) {
        WriteLog("OneClick: " + summary.stopped + ", before " + PrintableName(picture));
        break;
      }
      RunOne(picture, picture, summary, made_from);
    }
    return summary;
  });
}

}  // namespace kws
