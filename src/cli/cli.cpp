#include "cli/cli.h"

#include <sys/stat.h>

#include <QBuffer>
#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <string_view>

#include "driver/diagnosis.h"
#include "driver/driver.h"
#include "driver/startup.h"
#include "fileio/destination.h"
#include "fileio/file.h"
#include "fileio/name_text.h"
#include "fit/tv_test_card.h"
#include "format/receiver_models.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "picture/import_picture.h"
#include "picture/tv_preview.h"
#include "preview/preview_loader.h"
#include "sample/sample_picture.h"
#include "steps/bitmap8.h"
#include "steps/gzip_f9.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

constexpr const char* kProgram = "kestro-welcome-cli";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Args = std::vector<std::string>;

// ---- signals ----

// The signal that asked a run to stop, or 0. A run ends its current picture
// cleanly and stops before the next one; a second signal ends the program
// at once (the handler is reset after the first), and the next run removes
// what that left behind.
volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void RememberStopSignal(int signal_number) { g_stop_signal = signal_number; }

std::string SignalName(int signal_number) {
  return signal_number == SIGINT ? "SIGINT" : signal_number == SIGTERM ? "SIGTERM" : std::to_string(signal_number);
}

// While a run lasts: SIGINT and SIGTERM are remembered instead of killing the
// process half-way through writing an image, and a reader that goes away
// (run | head -1) makes writes to stdout fail instead of killing it.
class StopSignals {
 public:
  StopSignals() {
    g_stop_signal = 0;
    struct sigaction stop {};
    stop.sa_handler = RememberStopSignal;
    stop.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGINT, &stop, &saved_int_);
    ::sigaction(SIGTERM, &stop, &saved_term_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &saved_pipe_);
  }
  ~StopSignals() {
    ::sigaction(SIGINT, &saved_int_, nullptr);
    ::sigaction(SIGTERM, &saved_term_, nullptr);
    ::sigaction(SIGPIPE, &saved_pipe_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  static int Received() { return g_stop_signal; }
  static std::string Reason() { return "stopped by signal " + SignalName(g_stop_signal); }

 private:
  struct sigaction saved_int_ {};
  struct sigaction saved_term_ {};
  struct sigaction saved_pipe_ {};
};

// ---- names as the terminal shows them ----

// JSON holds a name losslessly: a byte that is not valid UTF-8 is "\udcXX"
// (see NameToUtf16), and control characters are JSON's own escapes.
QString JsonName(const std::string& name) { return QString::fromStdU16String(NameToUtf16(name)); }
QString JsonText(const std::string& text) { return QString::fromStdString(text); }

// ---- the command table ----

enum class Verbosity { kQuiet, kNormal, kVerbose };

struct OptionSpec {
  std::string_view name;   // "--background"
  char short_name;         // 'v', or 0
  std::string_view value;  // "COLOR", or empty for a flag
  std::string_view help;
};

struct Invocation;

struct CommandSpec {
  std::string_view name;
  std::string_view arguments;  // for the usage line
  size_t min_args;
  size_t max_args;
  std::string_view summary;
  std::vector<OptionSpec> options;
  std::string_view example;
  // Throws UsageError for arguments it cannot take, before anything is done.
  std::function<void(const Invocation&)> check;
  std::function<int(Invocation&)> run;
};

struct Invocation {
  Invocation(std::ostream& o, std::ostream& e) : out(o), err(e) {}
  const CommandSpec* command = nullptr;
  Args args;
  std::map<std::string, std::string, std::less<>> options;  // given, with their values ("" for a flag)
  std::ostream& out;
  std::ostream& err;

  bool Has(std::string_view name) const { return options.find(name) != options.end(); }
  const std::string* Value(std::string_view name) const {
    const auto it = options.find(name);
    return it == options.end() ? nullptr : &it->second;
  }
  Verbosity verbosity() const {
    return Has("--verbose") ? Verbosity::kVerbose : Has("--quiet") ? Verbosity::kQuiet : Verbosity::kNormal;
  }
  bool json() const { return Has("--json"); }
};

const std::vector<OptionSpec> kGlobalOptions = {
    {"--home", 0, "DIR", "keep the working folders Input, Temp, Output and Log under DIR"},
    {"--verbose", 'v', "", "print every activity-log entry as it is written, and details"},
    {"--quiet", 'q', "", "print errors only"},
    {"--json", 0, "", "print one JSON document with the results (make, run, inspect, import)"},
    {"--help", 'h', "", "show this help, or a command's (COMMAND --help)"},
    {"--version", 0, "", "show the version"},
};

// ---- steps ----

enum class StepArg { kFile, kSize, kModel };

struct StepSpec {
  std::string_view name;
  std::vector<std::pair<std::string_view, StepArg>> args;
  std::string help;
  std::function<int32_t(const Args&)> run;
  // What its own result codes stand for, beyond the ones every step shares.
  std::vector<std::pair<int32_t, std::string_view>> codes;
};

uint32_t ParseSize(const std::string& text) {
  try {
    size_t used = 0;
    const bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
    const unsigned long long value = std::stoull(hex ? text.substr(2) : text, &used, hex ? 16 : 10);
    if (used == (hex ? text.size() - 2 : text.size()) && value <= 0xFFFFFFFFull && text[0] != '-') {
      return static_cast<uint32_t>(value);
    }
  } catch (const std::exception&) {
  }
  throw UsageError("appendbin SIZE must be a number from 0 to 0xFFFFFFFF, not \"" + text + "\"");
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// The partition sizes and serial model names the receivers use.
std::string PartitionSizes() {
  std::string sizes;
  for (const UsbModel& model : kUsbModels) {
    const std::string size = Hex(model.partition_size);
    if (sizes.find(size) == std::string::npos) sizes += (sizes.empty() ? "" : ", ") + size;
  }
  return sizes;
}
std::string SerialModels() {
  std::string names;
  for (const UsbModel& model : kUsbModels) names += (names.empty() ? "" : ", ") + std::string(model.serial_model);
  return names;
}

std::vector<StepSpec> FixedSteps() {
  using K = StepArg;
  return {
      {"convbmp",
       {{"BMP", K::kFile}, {"CT", K::kFile}, {"RAW", K::kFile}},
       "bitmap -> colour table and raw picture",
       [](const Args& a) { return convbmp(a[0], a[1], a[2]); },
       {{-11, "the bitmap has more than 8 bits per pixel"},
        {-12, "the bitmap is compressed"},
        {-13, "the bitmap is not 720 x 576 pixels"}}},
      {"rawconv",
       {{"IN", K::kFile}, {"OUT", K::kFile}},
       "raw picture -> pixel rows, top row first",
       [](const Args& a) { return rawconv(a[0], a[1]); },
       {}},
      {"gzip_f9",
       {{"SRC", K::kFile}, {"DST", K::kFile}},
       "file -> one gzip member",
       [](const Args& a) { return gzip_f9(a[0], a[1]); },
       {{kGzipSourceNotOpened, "the source cannot be opened (missing, locked or unreadable)"},
        {kGzipDestinationNotCreated, "the destination cannot be created"},
        {kGzipReadFailed, "reading the source failed"},
        {kGzipShortWrite, "the destination took fewer bytes than it was given (disk full?)"},
        {kGzipCloseFailed, "finishing or closing the destination failed (disk full?)"}}},
      {"dd",
       {{"FIRST", K::kFile}, {"SECOND", K::kFile}, {"OUT", K::kFile}},
       "FIRST and SECOND joined -> OUT",
       [](const Args& a) { return dd(a[0], a[1], a[2]); },
       {}},
      {"addheader",
       {{"IN", K::kFile}, {"TMP", K::kFile}, {"OUT", K::kFile}},
       "joined data -> welcome image",
       [](const Args& a) { return addheader(a[0], a[1], a[2]); },
       {}},
      {"appendbin",
       {{"SIZE", K::kSize}, {"IN", K::kFile}, {"OUT", K::kFile}},
       "welcome image -> partition image of SIZE bytes, padded with 0xFF",
       [](const Args& a) { return appendbin(ParseSize(a[0]), a[1], a[2]); },
       {}},
      {"mkserialimg",
       {{"IN", K::kFile}, {"OUT", K::kFile}, {"MODEL", K::kModel}},
       "USB update image -> serial update image naming MODEL",
       [](const Args& a) { return mkserialimg(a[0], a[1], a[2]); },
       {}},
  };
}

// The steps with the USB steps of every receiver model, from the model table,
// in the order of the chain.
std::vector<StepSpec> MakeSteps() {
  std::vector<StepSpec> steps = FixedSteps();
  const auto usb_steps_at = steps.end() - 1;  // before mkserialimg
  std::vector<StepSpec> usb_steps;
  usb_steps.reserve(kUsbModels.size());
  for (const UsbModel& model : kUsbModels) {
    usb_steps.push_back({model.step,
                         {{"IN", StepArg::kFile}, {"OUT", StepArg::kFile}},
                         std::string("partition image -> USB update image for ") + model.receiver,
                         [&model](const Args& a) { return mkusbimg(model, a[0], a[1]); },
                         {}});
  }
  steps.insert(usb_steps_at, usb_steps.begin(), usb_steps.end());
  return steps;
}

const std::vector<StepSpec>& Steps() {
  static const std::vector<StepSpec> steps = MakeSteps();
  return steps;
}

// What every step's codes mean.
const std::vector<std::pair<int32_t, std::string_view>> kSharedStepCodes = {
    {kStepOk, "success"},
    {kStepTooBig, "the input is too big or has the wrong size (mkserialimg: the model name is too long)"},
    {kStepMissing, "the input file does not exist"},
    {kStepFailed, "a failure was caught; the error line above says which"},
};

std::string StepUsage(const StepSpec& step) {
  std::string usage(step.name);
  for (const auto& [name, kind] : step.args) usage.append(" ").append(name);
  return usage;
}

const StepSpec& FindStep(const Args& args) {
  if (args.empty()) throw UsageError("step needs a step name; the steps are listed by 'step --help'");
  for (const StepSpec& step : Steps()) {
    if (args[0] != step.name) continue;
    if (args.size() - 1 != step.args.size())
      throw UsageError("usage: " + std::string(kProgram) + " step " + StepUsage(step));
    for (size_t i = 0; i < step.args.size(); ++i) {
      if (step.args[i].second == StepArg::kSize) ParseSize(args[i + 1]);
    }
    return step;
  }
  throw UsageError("unknown step \"" + TerminalName(args[0]) + "\"; the steps are listed by 'step --help'");
}

std::string CodeMeaning(const StepSpec& step, int32_t code) {
  for (const auto& [value, meaning] : step.codes) {
    if (value == code) return std::string(meaning);
  }
  for (const auto& [value, meaning] : kSharedStepCodes) {
    if (value == code) return std::string(meaning);
  }
  return "an unexpected result";
}

// ---- make and run ----

// The window interface without a window: the preview only decides whether
// the file is a picture; each picture's first error is kept for its result.
class HeadlessView : public RunView {
 public:
  // An image as written: its name, and its size and SHA-256 taken from the
  // bytes that were written and read back, while the run held the folders.
  struct WrittenImage {
    std::string path;
    qint64 size;
    std::string sha256;
  };
  struct Outcome {
    std::string picture;
    int32_t result;
    std::string first_error;  // the logged line
    std::string told_error;   // the same with the system's reason, which the log leaves out
    std::vector<WrittenImage> images;
  };
  // An Input entry that a run passed over, and why.
  struct Skipped {
    std::string name;
    std::string why;
  };

  std::string ShowPicture(const std::string& path) override { return CheckPreview(path); }
  void SetStatus(const std::string& text) override { status_ = text; }
  void ProcessEvents() override {}
  void SetGoEnabled(bool) override {}
  void SetBusyCursor(bool) override {}
  void ShowMessage(const std::string&) override {}
  std::string StopRequested() override { return StopSignals::Received() ? StopSignals::Reason() : std::string(); }
  void ImageWritten(const std::string& path, std::span<const uint8_t> bytes) override {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const QByteArray hash = QCryptographicHash::hash(view, QCryptographicHash::Sha256);
    images_.push_back({path, static_cast<qint64>(bytes.size()), hash.toHex().toStdString()});
  }
  void PictureDone(const std::string& picture, int32_t result) override {
    outcomes_.push_back({picture, result, first_error_, told_error_, std::move(images_)});
    first_error_.clear();
    told_error_.clear();
    images_.clear();
  }
  void EntrySkipped(const std::string& name, const std::string& why) override { skipped_.push_back({name, why}); }

  void Logged(std::string_view message, std::string_view note) {
    if (message.rfind("ERROR: ", 0) != 0) return;
    std::string told(message);
    if (!note.empty()) told.append(": ").append(note);
    if (first_error_.empty()) {
      first_error_ = message;
      told_error_ = told;
    }
    if (run_error_.empty()) run_error_ = told;
  }
  const std::vector<Skipped>& skipped() const { return skipped_; }
  const std::string& status() const { return status_; }
  const std::vector<Outcome>& outcomes() const { return outcomes_; }
  // The first error of the run that belongs to no picture (a lock refused).
  const std::string& run_error() const { return run_error_; }

 private:
  std::string status_;
  std::string first_error_;
  std::string told_error_;
  std::string run_error_;
  std::vector<Skipped> skipped_;
  std::vector<WrittenImage> images_;
  std::vector<Outcome> outcomes_;
};

std::string Escaped(const std::string& text) { return TerminalName(text); }

// "kestro-welcome-cli import photo.png photo.bmp": the command that fixes it.
// Its output is a name that nothing has yet (photo-1.bmp, ...), so that
// following the hint never replaces a file.
std::string ImportHint(const std::string& picture) {
  const std::filesystem::path path(picture);
  std::string out = (path.parent_path() / (path.stem().string() + ".bmp")).string();
  if (out == picture || path.extension() == ".bmp" || path.extension() == ".BMP") {
    out = (path.parent_path() / (path.stem().string() + "-fit.bmp")).string();
  }
  out = FreeName(out);
  // A name that begins with "-" would be taken for an option.
  const bool dashes = picture.starts_with('-') || out.starts_with('-');
  return std::string(kProgram) + " import " + (dashes ? "-- " : "") + ShellWord(picture) + " " + ShellWord(out);
}

class PictureRun {
 public:
  PictureRun(Invocation& inv, const StartupResult& start) : inv_(inv), start_(start) {}

  int Run() {
    Driver driver(view_, start_.folders);
    SetLogListener([this](std::string_view message, std::string_view note) {
      if (inv_.verbosity() == Verbosity::kVerbose && !inv_.json()) inv_.out << Escaped(std::string(message)) << '\n';
      view_.Logged(message, note);
    });
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
    SetLogListener(nullptr);
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
      const Diagnosis why = DiagnosePicture(outcome.picture, outcome.told_error);
      err << Shown(outcome.picture) << ": failed \u2014 " << Escaped(why.plain) << '\n';
      if (const std::string left = ImagesLeftText(LeftBy(outcome)); !left.empty()) err << "  " << left << '\n';
      if (const std::string advice = RemedyAdvice(why.remedy); !advice.empty()) {
        err << "hint: " << advice << ": " << ImportHint(Hinted(outcome.picture)) << '\n';
      }
    }
    if (summary.error && view_.outcomes().empty()) err << Escaped(view_.run_error()) << '\n';
    if (!summary.stopped.empty() || StopSignals::Received()) err << StopSignals::Reason() << '\n';
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
      picture["picture"] = JsonName(outcome.picture);
      picture["result"] = outcome.result;
      picture["made"] = outcome.result == kStepOk;
      picture["error"] = outcome.first_error.empty() ? QJsonValue() : QJsonValue(JsonText(outcome.first_error));
      if (outcome.result != kStepOk) {
        const Diagnosis why = DiagnosePicture(outcome.picture, outcome.told_error);
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
        o["path"] = JsonName(image->path);
        o["model"] = JsonText(image->receiver);
        o["serial_model"] = JsonText(image->serial_model);
        o["kind"] = image->usb ? "usb" : "serial";
        o["size"] = written.size;
        o["sha256"] = JsonText(written.sha256);
        outputs.append(o);
      }
      if (outcome.result != kStepOk) {
        QJsonArray older;
        for (const std::string& path : LeftBy(outcome).older) older.append(JsonName(path));
        picture["older_outputs"] = older;
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
      skipped.append(QJsonObject{{"name", JsonName(entry.name)}, {"why", JsonText(entry.why)}});
    }
    doc["skipped_entries"] = skipped;
    doc["error"] = view_.outcomes().empty() && summary.error ? QJsonValue(JsonText(view_.run_error())) : QJsonValue();
    doc["stopped"] = summary.stopped.empty() && !StopSignals::Received() ? QJsonValue()
                                                                         : QJsonValue(JsonText(StopSignals::Reason()));
    doc["output_folder"] = JsonName(start_.folders.output);
    doc["log"] = JsonName(start_.folders.log_file);
    doc["exit_code"] = ExitCode(summary);
    inv_.out << QJsonDocument(doc).toJson(QJsonDocument::Indented).toStdString();
    return ExitCode(summary);
  }

  Invocation& inv_;
  const StartupResult& start_;
  HeadlessView view_;
  std::map<std::string, std::string> given_names_;
};

// Start-up for the commands that use the working folders. A log that cannot
// be written is said once, not hinted at with "see the log".
class WorkingFolderSession {
 public:
  explicit WorkingFolderSession(Invocation& inv) : inv_(inv) {
    SetLogFailureHandler([this](const std::string& why) {
      inv_.err << kProgram << ": warning: " << Escaped(why) << '\n';
      log_lost_ = true;
    });
    if (inv.verbosity() == Verbosity::kVerbose && !inv.json()) {
      SetLogListener(
          [this](std::string_view message, std::string_view) { inv_.out << Escaped(std::string(message)) << '\n'; });
    }
    const std::string* home = inv.Value("--home");
    start_ = home ? StartUp(*home) : StartUpDefault();
    SetLogListener(nullptr);
  }
  ~WorkingFolderSession() {
    SetLogListener(nullptr);
    SetLogFailureHandler(nullptr);
  }
  WorkingFolderSession(const WorkingFolderSession&) = delete;
  WorkingFolderSession& operator=(const WorkingFolderSession&) = delete;

  // Empty when start-up went well; else the error, said on stderr.
  bool Failed() const {
    if (start_.error.empty()) return false;
    inv_.err << kProgram << ": " << Escaped(start_.Told()) << '\n';
    return true;
  }
  const StartupResult& start() const { return start_; }
  bool log_lost() const { return log_lost_; }

 private:
  Invocation& inv_;
  StartupResult start_;
  bool log_lost_ = false;
};

int MakeOrRun(Invocation& inv) {
  if (inv.command->name == "make") {
    // One picture that is not there at all is refused here; anything else is
    // the pipeline's to report, picture by picture.
    struct stat st {};
    if (inv.args.size() == 1 && ::lstat(inv.args[0].c_str(), &st) != 0) {
      inv.err << kProgram << ": no such picture: " << Escaped(inv.args[0]) << '\n';
      return 1;
    }
  }
  WorkingFolderSession session(inv);
  if (session.Failed()) return 1;
  return PictureRun(inv, session.start()).Run();
}

// ---- step ----

int StepCommand(Invocation& inv) {
  const StepSpec& step = FindStep(inv.args);
  WorkingFolderSession session(inv);
  if (session.Failed()) return 1;
  // A step deletes and creates its outputs anew; a file it replaced keeps
  // its owner and permission bits, as every other writer's do.
  std::vector<std::pair<std::string, FileOwnership>> before;
  for (size_t i = 0; i < step.args.size(); ++i) {
    if (step.args[i].second != StepArg::kFile) continue;
    if (std::optional<FileOwnership> owner = OwnershipOf(inv.args[i + 1])) before.emplace_back(inv.args[i + 1], *owner);
  }
  std::vector<std::string> lines;
  // The log's lines, each with the system's reason that the log leaves out.
  SetLogListener([&](std::string_view message, std::string_view note) {
    lines.emplace_back(message);
    if (!note.empty()) lines.back().append(": ").append(note);
  });
  const int32_t code = step.run(Args(inv.args.begin() + 1, inv.args.end()));
  SetLogListener(nullptr);
  for (const auto& [name, owner] : before) KeepOwnership(name, owner);
  const std::string result = std::string(step.name) + ": Ret=" + std::to_string(code);
  if (code == kStepOk) {
    if (inv.verbosity() != Verbosity::kQuiet) inv.out << result << '\n';
    return 0;
  }
  for (const std::string& line : lines) inv.err << Escaped(line) << '\n';
  inv.err << result << ": " << CodeMeaning(step, code) << '\n';
  return 1;
}

// ---- the files the user names as output ----

// Why out may not be written, or empty when it may: a file of the user's is
// replaced only with --force, a command's own input never.
std::string OutputRefusal(const Invocation& inv, const std::string& out, const DestinationCheck& target) {
  if (target.MayWrite(inv.Has("--force"))) return {};
  std::string why = RefusalText(out, target);
  if (target.standing == Standing::kUsers) why += "; to replace it, add --force";
  return why;
}

// Says the refusal on stderr; true when out may not be written.
bool RefuseOutput(const Invocation& inv, const std::string& out, const DestinationCheck& target) {
  const std::string why = OutputRefusal(inv, out, target);
  if (!why.empty()) inv.err << kProgram << ": " << why << '\n';
  return !why.empty();
}

// Every replacement is said, on stderr (never in the activity log), also
// with --quiet: a file that was there is gone.
void SayReplaced(const Invocation& inv, const std::string& out, const DestinationCheck& target) {
  if (target.Replaces()) inv.err << kProgram << ": " << ReplacedText(out, target) << '\n';
}

// ---- sample, inspect, import ----

// Writes picture as a bitmap made for purpose to a destination already
// checked; says so on out, or why not on err.
int WriteBitmap(Invocation& inv, const std::string& path, const Picture8& picture, const char* what,
                const DestinationCheck& target) {
  try {
    WriteBitmap8(path, picture, target.purpose);
  } catch (const std::exception& e) {
    inv.err << kProgram << ": cannot write " << Escaped(path) << ": " << Escaped(e.what()) << '\n';
    return 1;
  }
  if (inv.verbosity() != Verbosity::kQuiet) inv.out << what << " written: " << Escaped(path) << '\n';
  SayReplaced(inv, path, target);
  return 0;
}

// A file that already holds the very sample or card is replaced without
// --force: nothing is lost.
int SampleCommand(Invocation& inv) {
  const bool card = inv.Has("--test-card");
  const Picture8 picture = card ? MakeTestCard() : MakeSamplePicture();
  const MadeFor purpose = card ? MadeFor::kTestCard : MadeFor::kSample;
  const std::vector<uint8_t> bytes = EncodeBitmap8(picture);
  const DestinationCheck target = CheckDestination(inv.args[0], {}, purpose, bytes);
  if (RefuseOutput(inv, inv.args[0], target)) return 1;
  return WriteBitmap(inv, inv.args[0], picture, card ? "Test card" : "Sample picture", target);
}

void CheckInspect(const Invocation& inv) {
  if (inv.Has("--extract") && inv.args.size() != 1) {
    throw UsageError(std::string("usage: ") + kProgram + " inspect FILE --extract OUT.bmp");
  }
  if (inv.Has("--force") && !inv.Has("--extract")) throw UsageError("--force goes with --extract OUT.bmp");
}

QString KindName(ImageKind kind) {
  switch (kind) {
    case ImageKind::kSerial:
      return "serial";
    case ImageKind::kUsb:
      return "usb";
    case ImageKind::kPartition:
      return "partition";
    case ImageKind::kWelcome:
      return "welcome";
    case ImageKind::kNone:
      break;
  }
  return {};
}

// "USB header: payload CRC ..." as the layer and what it says.
QJsonArray LayersJson(const InspectReport& report) {
  QJsonArray layers;
  for (const std::string& line : report.layers) {
    const size_t colon = line.find(": ");
    QJsonObject layer;
    layer["layer"] = JsonText(line.substr(0, colon));
    layer["fields"] = colon == std::string::npos ? QString() : JsonText(line.substr(colon + 2));
    layers.append(layer);
  }
  return layers;
}

QJsonObject InspectJson(const std::string& file, const InspectReport& report) {
  QJsonObject o;
  o["file"] = JsonName(file);
  o["sound"] = report.Sound();
  o["verdict"] = JsonText(VerdictLine(report));
  o["kind"] = report.Sound() ? QJsonValue(KindName(report.kind)) : QJsonValue();
  o["model"] = report.model ? QJsonValue(report.model->receiver) : QJsonValue();
  o["serial_model"] = report.model ? QJsonValue(report.model->serial_model) : QJsonValue();
  o["fault"] = report.Sound() ? QJsonValue() : QJsonValue(JsonText(report.fault));
  o["looks_like"] = report.looks_like.empty() ? QJsonValue() : QJsonValue(JsonText(report.looks_like));
  o["layers"] = LayersJson(report);
  if (report.picture) {
    QJsonObject picture;
    picture["width"] = report.picture->width;
    picture["height"] = report.picture->height;
    picture["colours"] = static_cast<int>(report.picture->palette.size());
    o["picture"] = picture;
  } else {
    o["picture"] = QJsonValue();
  }
  return o;
}

// The verdict first, one line a file: sound ones on stdout, the others on
// stderr; the layers follow with --verbose.
int InspectCommand(Invocation& inv) {
  // With --extract there is one file, which is never replaced by its picture.
  const std::string* extract = inv.Value("--extract");
  DestinationCheck target;
  if (extract) {
    target = CheckDestination(*extract, inv.args, MadeFor::kExtract);
    if (RefuseOutput(inv, *extract, target)) return 1;
  }
  bool all_sound = true;
  InspectReport report;
  QJsonArray files;
  for (const std::string& file : inv.args) {
    report = InspectFile(file);
    all_sound = all_sound && report.Sound();
    if (inv.json()) {
      files.append(InspectJson(file, report));
      continue;
    }
    const std::string verdict = Escaped(file) + ": " + VerdictLine(report);
    if (report.Sound()) {
      if (inv.verbosity() != Verbosity::kQuiet) inv.out << verdict << '\n';
    } else {
      inv.err << verdict << '\n';
    }
    if (inv.verbosity() == Verbosity::kVerbose) {
      for (const std::string& line : ReportText(report)) inv.out << "  " << line << '\n';
    }
  }
  if (inv.json()) {
    QJsonObject doc;
    doc["command"] = "inspect";
    doc["files"] = files;
    doc["sound"] = all_sound;
    inv.out << QJsonDocument(doc).toJson(QJsonDocument::Indented).toStdString();
  }
  if (!all_sound) return 1;
  // With --extract there is one file, and its report is the last.
  return extract ? WriteBitmap(inv, *extract, *report.picture, "Picture", target) : 0;
}

Rgb ParseBackground(const std::string& text) {
  if (const std::optional<Rgb> color = ParseColor(text)) return *color;
  throw UsageError("--background takes #rrggbb or a colour name, not \"" + text + "\"");
}

// The display a picture is made for, or previewed on: 4:3 unless told.
Display DisplayOption(const Invocation& inv) {
  const std::string* text = inv.Value("--display");
  if (!text) return Display::k4x3;
  if (const std::optional<Display> display = ParseDisplay(*text)) return *display;
  throw UsageError("--display takes 4:3, 16:9 or square, not \"" + TerminalName(*text) + "\"");
}

SafeArea SafeOption(const Invocation& inv) {
  const std::string* text = inv.Value("--safe");
  if (!text) return SafeArea::kNone;
  if (const std::optional<SafeArea> area = ParseSafeArea(*text)) return *area;
  throw UsageError("--safe takes action, title or none, not \"" + TerminalName(*text) + "\"");
}

// The caption asked for, if any.
std::optional<Caption> CaptionOption(const Invocation& inv) {
  const std::string* text = inv.Value("--caption");
  if (!text) {
    if (inv.Has("--caption-position") || inv.Has("--caption-colour")) {
      throw UsageError("--caption-position and --caption-colour go with --caption TEXT");
    }
    return std::nullopt;
  }
  Caption caption;
  caption.text = *text;
  if (const std::string* position = inv.Value("--caption-position")) {
    const std::optional<CaptionPosition> parsed = ParseCaptionPosition(*position);
    if (!parsed) throw UsageError("--caption-position takes top or bottom, not \"" + TerminalName(*position) + "\"");
    caption.position = *parsed;
  }
  if (const std::string* colour = inv.Value("--caption-colour")) {
    const std::optional<Rgb> parsed = ParseColor(*colour);
    if (!parsed) {
      throw UsageError("--caption-colour takes #rrggbb or a colour name, not \"" + TerminalName(*colour) + "\"");
    }
    caption.color = *parsed;
  }
  return caption;
}

void CheckImport(const Invocation& inv) {
  if (const std::string* background = inv.Value("--background")) ParseBackground(*background);
  DisplayOption(inv);
  SafeOption(inv);
  CaptionOption(inv);
}

bool EndsInBmp(const std::string& name) {
  return name.size() >= 4 && std::equal(name.end() - 4, name.end(), ".bmp", [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

QJsonObject ImportJson(const std::string& picture, const std::string& out, const ImportReport* report,
                       const std::string& error) {
  QJsonObject o;
  o["command"] = "import";
  o["picture"] = JsonName(picture);
  o["output"] = JsonName(out);
  o["written"] = report != nullptr;
  o["error"] = error.empty() ? QJsonValue() : QJsonValue(JsonText(error));
  if (report) {
    o["source"] = QJsonObject{{"width", report->source_width}, {"height", report->source_height}};
    o["placed"] = QJsonObject{{"width", report->placed_width}, {"height", report->placed_height}};
    o["unchanged"] = report->unchanged;
    o["display"] = JsonText(DisplayName(report->display));
    o["safe"] = JsonText(SafeAreaName(report->safe));
    o["colours"] = report->colors;
    o["dithering"] = report->dithering;
    o["size"] = static_cast<qint64>(report->size);
    o["budget"] = static_cast<qint64>(report->budget);
    o["fits"] = report->Fits();
    o["fitted"] = report->fitted;
    // Infinite for a picture kept exactly; JSON has no infinity.
    o["psnr_db"] = std::isinf(report->psnr_db) ? QJsonValue() : QJsonValue(report->psnr_db);
    QJsonArray warnings;
    for (const std::string& w : report->warnings) warnings.append(JsonText(w));
    o["warnings"] = warnings;
  }
  return o;
}

// Writes the bitmap, logs the import and prints the fit report; the picture's
// problems go to stderr. A picture left too big on request, or one whose data
// was damaged but could still be read, is written, with a warning.
int ImportCommand(Invocation& inv) {
  ImportOptions options = TvImportOptions(DisplayOption(inv), SafeOption(inv));
  options.fill = inv.Has("--fill");
  options.fit = !inv.Has("--no-fit");
  options.caption = CaptionOption(inv);
  if (const std::string* background = inv.Value("--background")) options.background = ParseBackground(*background);
  const std::string& picture = inv.args[0];
  const std::string& out = inv.args[1];
  const auto fail = [&](const std::string& message) {
    if (inv.json()) {
      inv.out << QJsonDocument(ImportJson(picture, out, nullptr, message)).toJson().toStdString();
    } else {
      inv.err << kProgram << ": " << Escaped(message) << '\n';
    }
    return 1;
  };
  const DestinationCheck target = CheckDestination(out, {picture}, MadeFor::kImport);
  if (const std::string refused = OutputRefusal(inv, out, target); !refused.empty()) {
    return fail(refused);
  }
  WorkingFolderSession session(inv);
  if (session.Failed()) return 1;
  ImportReport report;
  try {
    report = ImportPictureLogged(picture, out, options);
  } catch (const ImportError& e) {
    return fail(e.what());
  } catch (const FileError& e) {
    return fail("cannot write " + Escaped(out) + ": " + e.what());
  }
  SayReplaced(inv, out, target);
  if (inv.json()) {
    inv.out << QJsonDocument(ImportJson(picture, out, &report, "")).toJson().toStdString();
    return 0;
  }
  if (inv.verbosity() != Verbosity::kQuiet) inv.out << DescribeReport(report) << "Written: " << Escaped(out) << '\n';
  for (const std::string& warning : report.warnings) {
    inv.err << kProgram << ": warning: " << Escaped(picture) << ": " << warning << '\n';
  }
  if (!EndsInBmp(out)) {
    inv.err
        << kProgram << ": warning: " << Escaped(out)
        << " is a Windows bitmap although its name does not end in .bmp; make and run take it, Input only as *.bmp\n";
  }
  if (!report.Fits()) {
    inv.err << kProgram << ": warning: " << Escaped(out)
            << " is too big for the receivers; import it without --no-fit\n";
  }
  return 0;
}

// ---- preview ----

double OverscanOption(const Invocation& inv) {
  const std::string* text = inv.Value("--overscan");
  if (!text) return 0;
  try {
    size_t used = 0;
    const double value = std::stod(*text, &used);
    if (used == text->size() && value >= 0 && value <= kMaxOverscanPercent) return value;
  } catch (const std::exception&) {
  }
  throw UsageError("--overscan takes a percentage from 0 to 20, not \"" + TerminalName(*text) + "\"");
}

void CheckPreview(const Invocation& inv) {
  DisplayOption(inv);
  OverscanOption(inv);
}

// The picture of a bitmap the receivers take, or of an update image, as
// inspect --extract takes it; the reason when there is none.
std::optional<Picture8> PreviewSource(const std::string& path, std::string& why) {
  if (std::optional<Picture8> bitmap = ReadConvertibleBitmap(path)) return bitmap;
  InspectReport report = InspectFile(path);
  if (report.picture) return std::move(report.picture);
  why = Escaped(path) + " is neither a 720 x 576, 8-bit bitmap nor a sound update image: " + VerdictLine(report);
  return std::nullopt;
}

int PreviewCommand(Invocation& inv) {
  const std::string& input = inv.args[0];
  const std::string& out = inv.args[1];
  const DestinationCheck target = CheckDestination(out, {input}, MadeFor::kPreview);
  if (RefuseOutput(inv, out, target)) return 1;
  std::string why;
  const std::optional<Picture8> picture = PreviewSource(input, why);
  if (!picture) {
    inv.err << kProgram << ": " << why << '\n';
    return 1;
  }
  TvPreviewOptions options;
  options.display = DisplayOption(inv);
  options.guides = inv.Has("--guides");
  options.overscan_percent = OverscanOption(inv);
  const QImage preview = RenderTvPreview(*picture, options);
  QByteArray png;
  {
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    preview.save(&buffer, "PNG");
  }
  try {
    WriteFileReplacing(out, std::vector<uint8_t>(png.begin(), png.end()), MadeFor::kPreview);
  } catch (const std::exception& e) {
    inv.err << kProgram << ": cannot write " << Escaped(out) << ": " << Escaped(e.what()) << '\n';
    return 1;
  }
  SayReplaced(inv, out, target);
  if (inv.verbosity() != Verbosity::kQuiet) {
    inv.out << "Preview written: " << Escaped(out) << " (" << preview.width() << " x " << preview.height()
            << ", as on a "
            << (options.display == Display::kSquare ? std::string("computer screen, pixel for pixel")
                                                    : DisplayName(options.display) + " TV")
            << ")\n";
  }
  return 0;
}

const std::vector<CommandSpec>& Commands() {
  static const std::vector<CommandSpec> commands = {
      {"make",
       "PICTURE...",
       1,
       SIZE_MAX,
       "turn 720 x 576, 8-bit bitmaps into the six update images each",
       {},
       "kestro-welcome-cli make logo.bmp",
       {},
       MakeOrRun},
      {"run",
       "",
       0,
       0,
       "turn every *.bmp in the Input folder into update images",
       {},
       "kestro-welcome-cli run",
       {},
       MakeOrRun},
      {"inspect",
       "FILE...",
       1,
       SIZE_MAX,
       "check update images before flashing: what each layer holds, or the first fault",
       {{"--extract", 0, "OUT.bmp", "write the picture inside (one FILE) as a 720 x 576, 8-bit bitmap"},
        {"--force", 0, "", "replace OUT.bmp even when it is not a picture an extract wrote (never FILE itself)"}},
       "kestro-welcome-cli inspect Output/logo_borvik200_usb_welcome.img",
       CheckInspect,
       InspectCommand},
      {"import",
       "PICTURE OUT.bmp",
       2,
       2,
       "turn any picture (PNG, JPEG, GIF, a bitmap of any kind) into a 720 x 576, 8-bit bitmap that fits",
       {{"--background", 0, "COLOR", "around a picture scaled to fit (#rrggbb or a name; default black)"},
        {"--fill", 0, "", "scale to cover 720 x 576 and crop the rest instead"},
        {"--no-fit", 0, "", "keep 256 colours with full dithering, even when too big"},
        {"--force", 0, "", "replace OUT.bmp even when it is not a bitmap an import made (never PICTURE itself)"},
        {"--display", 0, "4:3|16:9|square",
         "the TV it is for: scaled to keep its shape there (default 4:3; square: pixels as they are)"},
        {"--safe", 0, "action|title|none",
         "fit it into the action-safe (90 %) or title-safe (80 %) area (default none)"},
        {"--caption", 0, "TEXT", "draw one line of text on it, inside the title-safe area"},
        {"--caption-position", 0, "top|bottom", "where the caption goes (default bottom)"},
        {"--caption-colour", 0, "COLOR", "the caption's colour (#rrggbb or a name; default light grey)"}},
       "kestro-welcome-cli import holiday.jpg logo.bmp",
       CheckImport,
       ImportCommand},
      {"preview",
       "INPUT OUT.png",
       2,
       2,
       "show a bitmap or update image as the TV will: stretched to its shape, as a PNG",
       {{"--display", 0, "4:3|16:9|square", "the TV's shape (default 4:3; square: the receiver's pixels as they are)"},
        {"--guides", 0, "", "draw the action-safe (yellow) and title-safe (cyan) areas"},
        {"--overscan", 0, "PERCENT", "cut away what a TV hiding this much of the frame hides (0 to 20)"},
        {"--force", 0, "", "replace OUT.png even when it is not a preview this program made (never INPUT itself)"}},
       "kestro-welcome-cli preview logo.bmp logo-tv.png --guides",
       CheckPreview,
       PreviewCommand},
      {"sample",
       "OUT.bmp",
       1,
       1,
       "write the built-in sample picture",
       {{"--test-card", 0, "", "write a test card instead: overscan, safe areas and the TV's shape at a glance"},
        {"--force", 0, "", "replace OUT.bmp even when this program did not write it there"}},
       "kestro-welcome-cli sample sample.bmp",
       {},
       SampleCommand},
      {"step",
       "NAME ARG...",
       1,
       SIZE_MAX,
       "run one step of the chain on the named files (see step --help)",
       {},
       "kestro-welcome-cli step gzip_f9 welcome.qv.raw2 welcome.qv.raw2.gz",
       [](const Invocation& inv) { FindStep(inv.args); },
       StepCommand},
  };
  return commands;
}

const CommandSpec* FindCommand(std::string_view name) {
  for (const CommandSpec& c : Commands()) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

// ---- help ----

std::string OptionLine(const OptionSpec& o) {
  std::string left = "  ";
  left += o.short_name ? std::string("-") + o.short_name + ", " : "    ";
  left += std::string(o.name) + (o.value.empty() ? "" : " " + std::string(o.value));
  if (left.size() < 26) return left + std::string(26 - left.size(), ' ') + std::string(o.help) + "\n";
  return left + "\n" + std::string(26, ' ') + std::string(o.help) + "\n";
}

std::string CommandLine(const CommandSpec& c) {
  return std::string(c.name) + (c.arguments.empty() ? "" : " " + std::string(c.arguments));
}

std::string GeneralHelp() {
  std::string text = std::string("Usage: ") + kProgram + " [OPTION...] COMMAND [ARG...]\n\n" +
                     "Turns 720 x 576, 8-bit bitmaps into the receivers' USB and serial update images,\n"
                     "and any picture into such a bitmap.\n\nCommands:\n";
  for (const CommandSpec& c : Commands()) {
    std::string left = "  " + CommandLine(c);
    text += left.size() < 26 ? left + std::string(26 - left.size(), ' ') : left + "\n" + std::string(26, ' ');
    text += std::string(c.summary) + "\n";
  }
  text += "\nOptions (before or after the command; -- ends them):\n";
  for (const OptionSpec& o : kGlobalOptions) text += OptionLine(o);
  text += std::string("\nWorking folders Input, Temp, Output and Log lie beside the program when it runs from\n") +
          "its build or a folder of its own; an installed program keeps them in 'Kestro Welcome'\n" +
          "in your documents folder. --home DIR puts them under DIR.\n\n" +
          "A file named as an output (import, preview, sample, inspect --extract) is replaced only\n" +
          "when the same command wrote it there and it is unchanged since, or with --force, and\n" +
          "that is said on stderr; the command's own input never. A device is written into.\n\n" +
          "Exit status: 0 success, 1 a picture or step failed or an image is not sound,\n" +
          "2 usage error, 128+N stopped by signal N.\n" + "'" + kProgram +
          " COMMAND --help' tells more of each command.\n";
  return text;
}

std::string CommandHelp(const CommandSpec& c) {
  std::string text = std::string("Usage: ") + kProgram + " " + CommandLine(c) + "\n\n" + std::string(c.summary) + "\n";
  if (!c.options.empty()) {
    text += "\nOptions:\n";
    for (const OptionSpec& o : c.options) text += OptionLine(o);
  }
  if (c.name == "step") {
    text += "\nSteps:\n";
    for (const StepSpec& step : Steps()) {
      const std::string left = "  " + StepUsage(step);
      text += left.size() < 36 ? left + std::string(36 - left.size(), ' ') : left + "\n" + std::string(36, ' ');
      text += std::string(step.help) + "\n";
    }
    text += "\nSIZE is decimal or 0x hex; the receivers' partitions take " + PartitionSizes() + ".\n";
    text += "MODEL is up to 30 bytes; the receivers' serial model names are " + SerialModels() + ".\n";
    text += "\nResult codes of every step:\n";
    for (const auto& [code, meaning] : kSharedStepCodes)
      text += "  " + std::to_string(code) + "  " + std::string(meaning) + "\n";
    for (const StepSpec& step : Steps()) {
      for (const auto& [code, meaning] : step.codes) {
        text += "  " + std::to_string(code) + "  " + std::string(step.name) + ": " + std::string(meaning) + "\n";
      }
    }
  }
  text += "\nOptions for every command: --home DIR, -v/--verbose, -q/--quiet, --json, -h/--help.\n";
  text += "\nExample:\n  " + std::string(c.example) + "\n";
  return text;
}

// ---- parsing ----

const OptionSpec* FindOption(std::string_view name, const CommandSpec* command) {
  const auto find_in = [&](const std::vector<OptionSpec>& options) -> const OptionSpec* {
    for (const OptionSpec& o : options) {
      if (o.name == name || (name.size() == 2 && name[0] == '-' && o.short_name == name[1])) return &o;
    }
    return nullptr;
  };
  if (const OptionSpec* o = find_in(kGlobalOptions)) return o;
  if (command) return find_in(command->options);
  // Before the command: any command's option, checked once the command is known.
  for (const CommandSpec& c : Commands()) {
    if (const OptionSpec* o = find_in(c.options)) return o;
  }
  return nullptr;
}

bool BelongsTo(std::string_view name, const CommandSpec& command) {
  const auto in = [&](const std::vector<OptionSpec>& options) {
    return std::any_of(options.begin(), options.end(), [&](const OptionSpec& o) { return o.name == name; });
  };
  return in(kGlobalOptions) || in(command.options);
}

Invocation Parse(const Args& args, std::ostream& out, std::ostream& err) {
  Invocation inv(out, err);
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_ended || a.size() < 2 || a[0] != '-') {
      if (inv.command) {
        inv.args.push_back(a);
      } else if (!(inv.command = FindCommand(a))) {
        throw UsageError("unknown command \"" + TerminalName(a) + "\"");
      }
      continue;
    }
    if (a == "--") {
      options_ended = true;
      continue;
    }
    const size_t equals = a.find('=');
    const std::string name = a.substr(0, equals);
    const OptionSpec* option = FindOption(name, inv.command);
    if (!option) {
      throw UsageError("unknown option " + TerminalName(name) +
                       (inv.command ? " for " + std::string(inv.command->name) : std::string()));
    }
    std::string value;
    if (!option->value.empty()) {
      if (equals != std::string::npos) {
        value = a.substr(equals + 1);
      } else if (++i < args.size()) {
        value = args[i];
      } else {
        throw UsageError(std::string(option->name) + " needs " + std::string(option->value));
      }
      if (value.empty()) throw UsageError(std::string(option->name) + " needs " + std::string(option->value));
    } else if (equals != std::string::npos) {
      throw UsageError(std::string(option->name) + " takes no value");
    }
    if (!option->value.empty() && inv.Has(option->name)) {
      throw UsageError(std::string(option->name) + " is given twice");
    }
    inv.options[std::string(option->name)] = value;
  }
  if (inv.Has("--help") || inv.Has("--version")) return inv;
  if (!inv.command) throw UsageError("no command given");
  for (const auto& [name, value] : inv.options) {
    if (!BelongsTo(name, *inv.command))
      throw UsageError(name + " is not an option of " + std::string(inv.command->name));
  }
  if (inv.Has("--verbose") && inv.Has("--quiet")) throw UsageError("--verbose and --quiet exclude each other");
  const CommandSpec& c = *inv.command;
  if (inv.args.size() < c.min_args || inv.args.size() > c.max_args) {
    throw UsageError("usage: " + std::string(kProgram) + " " + CommandLine(c));
  }
  if (c.check) c.check(inv);
  return inv;
}

}  // namespace

int RunCli(const Args& args, std::ostream& out, std::ostream& err) {
  try {
    Invocation inv = Parse(args, out, err);
    if (inv.Has("--help")) {
      out << (inv.command ? CommandHelp(*inv.command) : GeneralHelp());
      return 0;
    }
    if (inv.Has("--version")) {
      out << kProgram << " " << FileVersion() << '\n';
      if (inv.Has("--verbose")) out << MakeCaption(FileVersion()) << '\n';
      return 0;
    }
    return inv.command->run(inv);
  } catch (const UsageError& e) {
    err << kProgram << ": " << Escaped(e.what()) << "\nTry '" << kProgram << " --help'.\n";
    return 2;
  } catch (const std::exception& e) {
    err << kProgram << ": " << Escaped(e.what()) << '\n';
    return 1;
  }
}

}  // namespace kws
