// The one-click run: the opened picture, or every bitmap in the Input folder.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "driver/driver.h"
#include "driver/run_lock.h"
#include "fileio/file.h"
#include "log/activity_log.h"

namespace kws {

namespace {

bool HasBmpExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".bmp";
}

struct InputEntry {
  std::string name;
  bool is_picture_file;  // a regular file (or a link to one); folders and specials are skipped
};

// The Input folder's *.bmp entries (any letter case), sorted by name.
std::vector<InputEntry> ListInput(const std::string& folder) {
  std::vector<InputEntry> entries;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (!HasBmpExtension(name)) continue;
    std::error_code ec;
    entries.push_back({name, entry.is_regular_file(ec)});
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return entries;
}

}  // namespace

RunSummary Driver::RunBatch() {
  RunSummary summary;
  std::string current;
  try {
    for (const InputEntry& entry : ListInput(folders_.input)) {
      current = entry.name;
      view_.ProcessEvents();
      // Names beginning with "." are hidden files on this platform.
      if (entry.name.front() == '.' || !entry.is_picture_file) continue;
      WriteLog("MultiProcessing: Input file " + entry.name);
      ++summary.pictures;
      if (ProcessFile(folders_.input + "/" + entry.name) != 0) ++summary.failed;
    }
  } catch (const std::exception& e) {
    WriteLog("ERROR: MultiProcessing(" + current + "), MSG=" + e.what());
    summary.error = true;
  }
  view_.SetStatus(kStatusNoMoreFiles);
  view_.ProcessEvents();
  return summary;
}

RunSummary Driver::RunOneClick() {
  RunSummary summary;
  view_.SetGoEnabled(false);
  view_.SetBusyCursor(true);
  try {
    const RunLock lock(folders_.temp);
    if (!opened_picture_.empty()) {
      // A picture opened and since deleted is quietly not processed.
      if (FileExists(opened_picture_)) {
        summary.pictures = 1;
        summary.failed = ProcessFile(opened_picture_) != 0 ? 1 : 0;
      }
    } else {
      summary = RunBatch();
    }
    view_.SetGoEnabled(true);
    view_.SetBusyCursor(false);
  } catch (const std::exception& e) {
    view_.SetGoEnabled(true);
    view_.SetBusyCursor(false);
    view_.SetStatus(std::string("ERROR: ") + e.what());
    WriteLog(std::string("ERROR: OneClick(), Msg=") + e.what());
    summary.error = true;
  }
  return summary;
}

}  // namespace kws
