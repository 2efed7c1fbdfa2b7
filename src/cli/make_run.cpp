// make and run: pictures through the driver, reported as text or JSON.

#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <span>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/sha256.h"
#include "cli/stop_signals.h"
#include "cli/terminal.h"
#include "driver/diagnosis.h"
#include "driver/driver.h"
#include "fileio/file.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "preview/preview_loader.h"
#include "steps/step_result.h"

namespace kws::cli {

namespace {

// The window interface without a window: the preview only decides whether
// the file is a picture; each picture's outcome is kept with its images.
class HeadlessView : public RunView {
 public:
  // An image as written: its name, and its size and SHA-256 taken from the
  // bytes that were written and read back, while the run held the folders.
  // The SHA-256 is taken only for a report that prints it.
  struct WrittenImage {
    std::string path;
    qint64 size;
    std::string sha256;
  };
  struct Outcome : PictureOutcome {
    std::vector<WrittenImage> images;
  };
  // An Input entry that a run passed over, and why.
  struct Skipped {
    std::string name;
    std::string why;
  };

  explicit HeadlessView(bool hash) : hash_(hash) {}

  std::string ShowPicture(const std::string& path) override { return CheckPreview(path); }
  void SetStatus(const std::string& text) override { status_ = text; }
  void ProcessEvents() override {}
  void SetGoEnabled(bool) override {}
  void SetBusyCursor(bool) override {}
  void ShowMessage(const std::string&) override {}
  std::string StopRequested() override { return StopSignals::Received() ? StopSignals::Reason() : std::string(); }
  void ImageWritten(const std::string& path, std::span<const uint8_t> bytes) override {
    images_.push_back({path, static_cast<qint64>(bytes.size()), hash_ ? Sha256Hex(bytes) : std::string()});
  }
  void PictureDone(const PictureOutcome& outcome) override {
    outcomes_.push_back({outcome, std::move(images_)});
    images_.clear();
  }
  void EntrySkipped(const std::string& name, const std::string& why) override { skipped_.push_back({name, why}); }

  const std::vector<Skipped>& skipped() const { return skipped_; }
  const std::string& status() const { return status_; }
  const std::vector<Outcome>& outcomes() const { return outcomes_; }

 private:
  bool hash_;
  std::string status_;
  std::vector<Skipped> skipped_;
  std::vector<WrittenImage> images_;
  std::vector<Outcome> outcomes_;
};

// A picture of another kind in Input, which a batch passes over: it takes
// *.bmp only.
struct OtherPicture {
  std::string path;
  std::string kind;  // "a PNG picture"
};

std::vector<OtherPicture> OtherPicturesIn(const std::string& folder) {
  std::vector<OtherPicture> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.front() == '.' || HasBmpExtension(name) || !entry.is_regular_file(ec)) continue;
    std::array<uint8_t, 64> head{};
    size_t got = 0;
    try {
      InputFile file(entry.path().string());
      got = file.ReadSome(head.data(), head.size());
    } catch (const FileError&) {
      continue;
    }
    const std::string kind = PictureFormatOf(std::span<const uint8_t>(head.data(), got));
    if (!kind.empty()) found.push_back({entry.path().string(), kind});
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
  return found;
}

class PictureRun {
 public:
  PictureRun(Invocation& inv, const StartupResult& start) : inv_(inv), start_(start), view_(inv.json()) {}

  int Run() {
    Driver driver(view_, start_.folders);
    std::optional<ScopedLogListener> echo;
    if (inv_.verbosity() == Verbosity::kVerbose && !inv_.json()) {
      echo.emplace(
          [this](std::string_view message, std::string_view) { inv_.out << Escaped(std::string(message)) << '\n'; });
    }
    const StopSignals stop_signals;
    RunSummary summary;
    if (inv_.command->name == "make") {
      std::vector<std::string> pictures;
      for (const std::string& given : inv_.args) {
        const std::string picture = std::filesystem::absolute(given).lexically_normal().string();
        given_names_[picture] = given;
        pictures.push_back(picture);
      }
      summary = driver.RunPictures(pictures);
    } else {
      summary = driver.RunOneClick();
    }
    echo.reset();
    return inv_.json() ? ReportJson(summary) : ReportText(summary);
  }

 private:
  // The picture as the user named it: as typed for make, the file name in Input for run.
  std::string Given(const std::string& picture) const {
    const auto given = given_names_.find(picture);
    return given != given_names_.end() ? given->second : std::filesystem::path(picture).filename().string();
  }
  std::string Shown(const std::string& picture) const { return Escaped(Given(picture)); }
  // The picture as a hint's command names it: as typed for make; for run the
  // whole path, since the file lies in Input, not where the user stands.
  std::string Hinted(const std::string& picture) const {
    return given_names_.count(picture) ? given_names_.at(picture) : picture;
  }

  // The pictures of other kinds in Input that run passed over.
  std::vector<OtherPicture> OtherPictures() const {
    return inv_.command->name == "run" ? OtherPicturesIn(start_.folders.input) : std::vector<OtherPicture>{};
  }

  // The error that stopped the run itself (a lock refused), with its reason.
  static std::string RunError(const RunSummary& summary) {
    return summary.run_failure ? summary.run_failure->Told() : std::string();
  }

  ImagesLeft LeftBy(const HeadlessView::Outcome& outcome) const {
    std::vector<std::string> made;
    for (const auto& image : outcome.images) made.push_back(image.path);
    return ImagesLeftBy(start_.folders.output, BaseName(outcome.picture), made);
  }

  int ExitCode(const RunSummary& summary) const {
    if (const int signal_number = StopSignals::Received()) return 128 + signal_number;
    // Entries skipped (folders, pipes, broken links) and nothing made: the
    // run did not do what was asked.
    const bool made_nothing = summary.skipped > 0 && summary.pictures == summary.failed;
    return summary.failed > 0 || summary.error || made_nothing ? 1 : 0;
  }

  int ReportText(const RunSummary& summary) {
    std::ostream& out = inv_.out;
    std::ostream& err = inv_.err;
    const bool quiet = inv_.verbosity() == Verbosity::kQuiet;
    if (inv_.verbosity() == Verbosity::kVerbose && !view_.status().empty()) out << view_.status() << '\n';
    int made = 0;
    for (const auto& outcome : view_.outcomes()) {
      if (outcome.result == kStepOk) {
        ++made;
        if (!quiet) out << Shown(outcome.picture) << ": 6 images in " << Escaped(start_.folders.output) << '\n';
        continue;
      }
      const Diagnosis why = Diagnose(outcome.picture, *outcome.failure);
      err << Shown(outcome.picture) << ": failed \u2014 " << Escaped(why.plain) << '\n';
      if (const std::string left = ImagesLeftText(LeftBy(outcome)); !left.empty()) err << "  " << left << '\n';
      if (const std::string advice = RemedyAdvice(why.remedy); !advice.empty()) {
        err << "hint: " << advice << ": " << ImportHint(Hinted(outcome.picture)) << '\n';
      }
    }
    if (summary.error && view_.outcomes().empty()) err << Escaped(RunError(summary)) << '\n';
    if (!summary.stopped.empty() || StopSignals::Received()) err << StopSignals::Reason() << '\n';
    for (const OtherPicture& other : OtherPictures()) {
      err << Escaped(std::filesystem::path(other.path).filename().string()) << ": not converted \u2014 it is "
          << other.kind << ", and run takes *.bmp only\n"
          << "hint: " << RemedyAdvice(Remedy::kImport) << ": " << ImportHint(other.path) << '\n';
    }
    const int total = static_cast<int>(view_.outcomes().size());
    if (total == 0 && !summary.error && summary.skipped == 0) {
      if (!quiet) {
        out << "No pictures in " << Escaped(start_.folders.input) << ": put 720 x 576, 8-bit bitmaps there, or name "
            << "them: " << kProgram << " make PICTURE...\n";
      }
      return ExitCode(summary);
    }
    for (const HeadlessView::Skipped& entry : view_.skipped()) {
      err << Escaped(entry.name) << ": skipped \u2014 " << Escaped(entry.why) << '\n';
    }
    if (!quiet) {
      if (total > 0) {
        out << made << " of " << total << (total == 1 ? " picture" : " pictures") << " made";
        if (total > made) out << ", " << total - made << " failed";
      } else {
        out << "No pictures made";
      }
      if (summary.skipped > 0) {
        out << ", " << summary.skipped << " Input " << (summary.skipped == 1 ? "entry" : "entries") << " skipped";
      }
      out << "; log: " << Escaped(start_.folders.log_file) << '\n';
    }
    return ExitCode(summary);
  }

  int ReportJson(const RunSummary& summary) {
    QJsonArray pictures;
    for (const auto& outcome : view_.outcomes()) {
      QJsonObject picture;
      PutName(picture, "picture", outcome.picture);
      picture["result"] = outcome.result;
      picture["made"] = outcome.result == kStepOk;
      picture["error"] = outcome.failure && !outcome.failure->line.empty() ? QJsonValue(JsonText(outcome.failure->line))
                                                                           : QJsonValue();
      if (outcome.result != kStepOk) {
        const Diagnosis why = Diagnose(outcome.picture, *outcome.failure);
        picture["reason"] = JsonText(why.plain);
        picture["hint"] =
            why.remedy == Remedy::kNone ? QJsonValue() : QJsonValue(JsonText(ImportHint(Hinted(outcome.picture))));
      }
      // The images this run wrote of the picture, all six when it was made;
      // for a failed one also those of its names left from an earlier run.
      QJsonArray outputs;
      const std::vector<OutputImage> images = OutputImages(start_.folders.output, BaseName(outcome.picture));
      for (const HeadlessView::WrittenImage& written : outcome.images) {
        const auto image =
            std::find_if(images.begin(), images.end(), [&](const OutputImage& i) { return i.path == written.path; });
        if (image == images.end()) continue;
        QJsonObject o;
        PutName(o, "path", image->path);
        o["model"] = JsonText(image->receiver);
        o["serial_model"] = JsonText(image->serial_model);
        o["kind"] = image->usb ? "usb" : "serial";
        o["size"] = written.size;
        o["sha256"] = JsonText(written.sha256);
        outputs.append(o);
      }
      if (outcome.result != kStepOk) {
        PutNames(picture, "older_outputs", LeftBy(outcome).older);
      }
      picture["outputs"] = outputs;
      pictures.append(picture);
    }
    QJsonObject doc;
    doc["command"] = JsonText(std::string(inv_.command->name));
    doc["pictures"] = pictures;
    doc["made"] = static_cast<int>(std::count_if(view_.outcomes().begin(), view_.outcomes().end(),
                                                 [](const auto& o) { return o.result == kStepOk; }));
    doc["failed"] = summary.failed;
    doc["skipped"] = summary.skipped;
    QJsonArray skipped;
    for (const HeadlessView::Skipped& entry : view_.skipped()) {
      QJsonObject skip{{"why", JsonText(entry.why)}};
      PutName(skip, "name", entry.name);
      skipped.append(skip);
    }
    doc["skipped_entries"] = skipped;
    QJsonArray others;
    for (const OtherPicture& other : OtherPictures()) {
      others.append(QJsonObject{
          {"path", JsonName(other.path)}, {"kind", JsonText(other.kind)}, {"hint", JsonText(ImportHint(other.path))}});
    }
    doc["other_pictures"] = others;
    doc["error"] = view_.outcomes().empty() && summary.error ? QJsonValue(JsonText(RunError(summary))) : QJsonValue();
    doc["stopped"] = summary.stopped.empty() && !StopSignals::Received() ? QJsonValue()
                                                                         : QJsonValue(JsonText(StopSignals::Reason()));
    PutName(doc, "output_folder", start_.folders.output);
    PutName(doc, "log", start_.folders.log_file);
    doc["exit_code"] = ExitCode(summary);
    PrintJson(inv_.out, doc);
    return ExitCode(summary);
  }

  Invocation& inv_;
  const StartupResult& start_;
  HeadlessView view_;
  std::map<std::string, std::string> given_names_;
};

// One picture that is not there at all is refused before anything is done;
// anything else is the pipeline's to report, picture by picture.
int RefuseMissingPicture(Invocation& inv) {
  struct stat st {};
  if (inv.args.size() != 1 || ::lstat(inv.args[0].c_str(), &st) == 0) return 0;
  inv.err << kProgram << ": no such picture: " << Escaped(inv.args[0]) << '\n';
  return 1;
}

int MakeOrRun(Invocation& inv) { return PictureRun(inv, *inv.start).Run(); }

// make and run write the same document.
const std::vector<JsonKeySpec>& MakeRunJsonKeys() {
  static const std::vector<JsonKeySpec> keys = {
      {"command", "make or run"},
      {"pictures", "one entry per picture, in the order they ran"},
      {"pictures[].picture", "the picture's path"},
      {"pictures[].picture_bytes", "its exact bytes in base64 when it is not valid UTF-8, else null"},
      {"pictures[].result", "the pipeline's result code (0 made; -11, -99, ... failed)"},
      {"pictures[].made", "whether its six images were made"},
      {"pictures[].error", "the first error line of the activity log, or null"},
      {"pictures[].reason", "only when it failed: why, in plain words"},
      {"pictures[].hint", "only when it failed: the command that fixes it, or null"},
      {"pictures[].outputs", "the images this run wrote: all six when made, those written before a failure"},
      {"pictures[].outputs[].path", "the image's path in Output"},
      {"pictures[].outputs[].path_bytes", "its exact bytes in base64 when it is not valid UTF-8, else null"},
      {"pictures[].outputs[].model", "the receiver it is for"},
      {"pictures[].outputs[].serial_model", "the model name its serial image carries"},
      {"pictures[].outputs[].kind", "usb or serial"},
      {"pictures[].outputs[].size", "the size of the bytes written and read back"},
      {"pictures[].outputs[].sha256", "their SHA-256"},
      {"pictures[].older_outputs", "only when it failed: its names in Output that an earlier run left"},
      {"pictures[].older_outputs_bytes", "beside them: each one's bytes in base64 when not valid UTF-8, else null"},
      {"made", "pictures made"},
      {"failed", "pictures that failed"},
      {"skipped", "Input entries that are no files (run)"},
      {"skipped_entries", "those entries"},
      {"skipped_entries[].name", "the entry's name"},
      {"skipped_entries[].name_bytes", "its exact bytes in base64 when it is not valid UTF-8, else null"},
      {"skipped_entries[].why", "what it is instead"},
      {"other_pictures",
       "run only: pictures of other kinds in Input, which it passes over (it takes *.bmp only), each with its "
       "path, its kind (\"a PNG picture\") and the import command that makes a bitmap of it (hint)"},
      {"error", "an error that stopped the run itself (a lock), or null"},
      {"stopped", "\"stopped by signal SIGTERM\", or null"},
      {"output_folder", "the Output folder"},
      {"output_folder_bytes", "its exact bytes in base64 when it is not valid UTF-8, else null"},
      {"log", "the activity log file"},
      {"log_bytes", "its exact bytes in base64 when it is not valid UTF-8, else null"},
      {"exit_code", "the exit status"},
  };
  return keys;
}

}  // namespace

const CommandSpec& MakeCommandSpec() {
  static const CommandSpec entry = {.name = "make",
                                    .arguments = "PICTURE...",
                                    .min_args = 1,
                                    .max_args = SIZE_MAX,
                                    .summary = "turn 720 x 576, 8-bit bitmaps into the six update images each",
                                    .options = {},
                                    .example = "kestro-welcome-cli make logo.bmp",
                                    .more_help = {},
                                    .check = {},
                                    .uses_working_folders = true,
                                    .refuse_before_folders = RefuseMissingPicture,
                                    .run = MakeOrRun,
                                    .reports_json = true,
                                    .json_keys = MakeRunJsonKeys()};
  return entry;
}

const CommandSpec& RunCommandSpec() {
  static const CommandSpec entry = {.name = "run",
                                    .arguments = "",
                                    .min_args = 0,
                                    .max_args = 0,
                                    .summary = "turn every *.bmp in the Input folder into update images",
                                    .options = {},
                                    .example = "kestro-welcome-cli run",
                                    .more_help = {},
                                    .check = {},
                                    .uses_working_folders = true,
                                    .run = MakeOrRun,
                                    .reports_json = true,
                                    .json_keys = MakeRunJsonKeys()};
  return entry;
}

}  // namespace kws::cli
