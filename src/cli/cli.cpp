#include "cli/cli.h"

#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>

#include "driver/driver.h"
#include "driver/startup.h"
#include "fileio/file.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "picture/import_picture.h"
#include "preview/preview_loader.h"
#include "sample/sample_picture.h"
#include "steps/steps.h"

namespace kws {

namespace {

constexpr const char* kProgram = "kestro-welcome-cli";

constexpr const char* kUsage =
    "Usage: kestro-welcome-cli [--home DIR] COMMAND [ARG...]\n"
    "\n"
    "Turns 720 x 576, 8-bit bitmaps into the receivers' USB and serial update images,\n"
    "and any picture into such a bitmap.\n"
    "Working folders Input, Temp, Output and Log lie under the home folder (default: the\n"
    "program's own folder, or ~/.local/share/kestro-welcome when that cannot be written).\n"
    "\n"
    "Commands:\n"
    "  run                 process every *.bmp in the Input folder\n"
    "  make PICTURE        process one picture\n"
    "  sample OUT.bmp      write the built-in sample picture\n"
    "  inspect FILE...     check update images: what each layer holds, or the first fault\n"
    "  inspect FILE --extract OUT.bmp\n"
    "                      ... and write the picture inside as a 720 x 576, 8-bit bitmap\n"
    "  import PICTURE OUT.bmp [--background COLOR] [--fill] [--no-fit]\n"
    "                      turn a PNG, JPEG, GIF or bitmap of any kind into a 720 x 576,\n"
    "                      8-bit bitmap that fits the receivers and report the fit:\n"
    "                        --background COLOR  around a picture scaled to fit\n"
    "                                            (#rrggbb or a name; default black)\n"
    "                        --fill              scale to cover and crop instead\n"
    "                        --no-fit            keep 256 colours with full dithering,\n"
    "                                            even when too big\n"
    "  step NAME ARG...    run one step on the named files:\n"
    "                        convbmp BMP CT RAW      rawconv IN OUT      gzip_f9 SRC DST\n"
    "                        dd FIRST SECOND OUT     addheader IN TMP OUT\n"
    "                        appendbin SIZE IN OUT   (SIZE decimal or 0x hex)\n"
    "                        mkusbimg200|mkusbimg300|mkusbimg400 IN OUT\n"
    "                        mkserialimg IN OUT MODEL\n"
    "\n"
    "Options:\n"
    "  --home DIR          use DIR as the home folder\n"
    "  --help              show this help\n"
    "  --version           show the version\n"
    "\n"
    "Every activity-log entry is printed as it is written, the final status last.\n"
    "Exit status: 0 success, 1 a picture or step failed or an image is not sound,\n"
    "2 usage error.\n";

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The window interface without a window: the preview only decides whether
// the file is a picture, and the status is kept to be printed at the end.
class HeadlessView : public RunView {
 public:
  explicit HeadlessView(std::ostream& err) : err_(err) {}
  std::string ShowPicture(const std::string& path) override { return CheckPreview(path); }
  void SetStatus(const std::string& text) override { status_ = text; }
  void ProcessEvents() override {}
  void SetGoEnabled(bool) override {}
  void SetBusyCursor(bool) override {}
  void ShowMessage(const std::string& text) override { err_ << text << '\n'; }
  const std::string& status() const { return status_; }

 private:
  std::ostream& err_;
  std::string status_;
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

using Args = std::vector<std::string>;

struct ImportArgs {
  std::string picture;
  std::string out;
  ImportOptions options;
};

constexpr const char* kImportUsage = "import PICTURE OUT.bmp [--background COLOR] [--fill] [--no-fit]";

Rgb ParseBackground(const std::string& text) {
  if (const std::optional<Rgb> color = ParseColor(text)) return *color;
  throw UsageError("--background takes #rrggbb or a colour name, not \"" + text + "\"");
}

ImportArgs ParseImport(const Args& args) {
  ImportArgs a;
  Args files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--fill") {
      a.options.fill = true;
    } else if (arg == "--no-fit") {
      a.options.fit = false;
    } else if (arg == "--background") {
      if (++i == args.size()) throw UsageError("--background needs a colour");
      a.options.background = ParseBackground(args[i]);
    } else if (arg.rfind("--background=", 0) == 0) {
      a.options.background = ParseBackground(arg.substr(13));
    } else if (arg.rfind("-", 0) == 0) {
      throw UsageError("unknown option " + arg + " for import");
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2) throw UsageError(std::string("usage: ") + kProgram + " " + kImportUsage);
  a.picture = files[0];
  a.out = files[1];
  return a;
}

struct StepCommand {
  const char* name;
  const char* args;  // for the usage line
  size_t arg_count;
  std::function<int32_t(const Args&)> run;
};

const std::vector<StepCommand>& StepCommands() {
  static const std::vector<StepCommand> commands = {
      {"convbmp", "BMP CT RAW", 3, [](const Args& a) { return convbmp(a[0], a[1], a[2]); }},
      {"rawconv", "IN OUT", 2, [](const Args& a) { return rawconv(a[0], a[1]); }},
      {"gzip_f9", "SRC DST", 2, [](const Args& a) { return gzip_f9(a[0], a[1]); }},
      {"dd", "FIRST SECOND OUT", 3, [](const Args& a) { return dd(a[0], a[1], a[2]); }},
      {"addheader", "IN TMP OUT", 3, [](const Args& a) { return addheader(a[0], a[1], a[2]); }},
      {"appendbin", "SIZE IN OUT", 3, [](const Args& a) { return appendbin(ParseSize(a[0]), a[1], a[2]); }},
      {"mkusbimg200", "IN OUT", 2, [](const Args& a) { return mkusbimg200(a[0], a[1]); }},
      {"mkusbimg300", "IN OUT", 2, [](const Args& a) { return mkusbimg300(a[0], a[1]); }},
      {"mkusbimg400", "IN OUT", 2, [](const Args& a) { return mkusbimg400(a[0], a[1]); }},
      {"mkserialimg", "IN OUT MODEL", 3, [](const Args& a) { return mkserialimg(a[0], a[1], a[2]); }},
  };
  return commands;
}

const StepCommand& FindStep(const Args& args) {
  if (args.empty()) throw UsageError("step needs a step name");
  for (const StepCommand& c : StepCommands()) {
    if (args[0] != c.name) continue;
    if (args.size() - 1 != c.arg_count) {
      throw UsageError(std::string("usage: step ") + c.name + " " + c.args);
    }
    return c;
  }
  throw UsageError("unknown step \"" + args[0] + "\"");
}

// inspect FILE... [--extract OUT.bmp]; the picture is taken out of one file only.
struct InspectArgs {
  Args files;
  std::optional<std::string> extract;
};

InspectArgs ParseInspect(const Args& args) {
  InspectArgs inspect;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--extract") {
      if (++i == args.size() || inspect.extract) throw UsageError("--extract needs one bitmap name");
      inspect.extract = args[i];
    } else if (args[i].rfind("-", 0) == 0) {
      throw UsageError("unknown option " + args[i]);
    } else {
      inspect.files.push_back(args[i]);
    }
  }
  if (inspect.files.empty()) throw UsageError(std::string("usage: ") + kProgram + " inspect FILE...");
  if (inspect.extract && inspect.files.size() != 1) {
    throw UsageError(std::string("usage: ") + kProgram + " inspect FILE --extract OUT.bmp");
  }
  return inspect;
}

struct CommandLine {
  std::optional<std::string> home;
  std::string command;
  Args args;
  bool help = false;
  bool version = false;
};

CommandLine Parse(const Args& args) {
  CommandLine cl;
  size_t i = 0;
  for (; i < args.size() && cl.command.empty(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a == "--version") {
      cl.version = true;
    } else if (a == "--home") {
      if (++i == args.size()) throw UsageError("--home needs a folder");
      cl.home = args[i];
    } else if (a.rfind("--home=", 0) == 0) {
      cl.home = a.substr(7);
    } else if (a.rfind("-", 0) == 0) {
      throw UsageError("unknown option " + a);
    } else {
      cl.command = a;
    }
  }
  cl.args.assign(args.begin() + static_cast<ptrdiff_t>(i), args.end());
  if (cl.help || cl.version) return cl;
  if (cl.command.empty()) throw UsageError("no command given");
  if (cl.home && cl.home->empty()) throw UsageError("--home needs a folder");
  const auto expect = [&](size_t n, const char* usage) {
    if (cl.args.size() != n) throw UsageError(std::string("usage: ") + kProgram + " " + usage);
  };
  if (cl.command == "run") {
    expect(0, "run");
  } else if (cl.command == "make") {
    expect(1, "make PICTURE");
  } else if (cl.command == "sample") {
    expect(1, "sample OUT.bmp");
  } else if (cl.command == "inspect") {
    ParseInspect(cl.args);
  } else if (cl.command == "import") {
    ParseImport(cl.args);
  } else if (cl.command == "step") {
    if (std::string(FindStep(cl.args).name) == "appendbin") ParseSize(cl.args[1]);
  } else {
    throw UsageError("unknown command \"" + cl.command + "\"");
  }
  return cl;
}

// Writes picture as a bitmap; says so on out, or why not on err.
int WriteBitmap(const std::string& path, const Picture8& picture, const char* what, std::ostream& out,
                std::ostream& err) {
  try {
    WriteFileReplacing(path, EncodeBitmap8(picture));
  } catch (const std::exception& e) {
    err << kProgram << ": cannot write " << path << ": " << e.what() << '\n';
    return 1;
  }
  out << what << " written: " << path << '\n';
  return 0;
}

// Prints each file's report; a fault is repeated on stderr.
int Inspect(const Args& args, std::ostream& out, std::ostream& err) {
  const InspectArgs inspect = ParseInspect(args);
  bool all_sound = true;
  InspectReport report;
  for (const std::string& file : inspect.files) {
    report = InspectFile(file);
    out << file << ":\n";
    for (const std::string& line : ReportText(report)) out << "  " << line << '\n';
    if (!report.Sound()) err << kProgram << ": " << file << ": " << report.fault << '\n';
    all_sound = all_sound && report.Sound();
  }
  if (!all_sound) return 1;
  // With --extract there is one file, and its report is the last.
  return inspect.extract ? WriteBitmap(*inspect.extract, *report.picture, "Picture", out, err) : 0;
}

// Writes the bitmap and prints the fit report; the picture's problems go to
// stderr. A picture left too big on request, or one whose data was damaged
// but could still be read, is written, with a warning.
int Import(const ImportArgs& a, std::ostream& out, std::ostream& err) {
  ImportReport report;
  try {
    report = ImportPictureFile(a.picture, a.out, a.options);
  } catch (const ImportError& e) {
    err << kProgram << ": " << e.what() << '\n';
    return 1;
  } catch (const FileError& e) {
    err << kProgram << ": cannot write " << a.out << ": " << e.what() << '\n';
    return 1;
  }
  out << DescribeReport(report) << "Written: " << a.out << '\n';
  for (const std::string& warning : report.warnings) {
    err << kProgram << ": warning: " << PrintableName(a.picture) << ": " << warning << '\n';
  }
  if (!report.Fits()) {
    err << kProgram << ": warning: " << a.out << " is too big for the receivers; import it without --no-fit\n";
  }
  return 0;
}

int Execute(const CommandLine& cl, std::ostream& out, std::ostream& err) {
  if (cl.command == "sample") return WriteBitmap(cl.args[0], MakeSamplePicture(), "Sample picture", out, err);
  if (cl.command == "inspect") return Inspect(cl.args, out, err);
  if (cl.command == "import") return Import(ParseImport(cl.args), out, err);

  std::string first_error;
  SetLogListener([&](std::string_view message) {
    out << message << '\n';
    if (first_error.empty() && message.rfind("ERROR: ", 0) == 0) first_error = message;
  });
  struct ListenerReset {
    ~ListenerReset() { SetLogListener(nullptr); }
  } reset;

  const StartupResult start =
      cl.home ? StartUp(*cl.home) : StartUp(ExecutableDir(), UserDataDir());
  if (!start.error.empty()) {
    err << kProgram << ": " << start.error << '\n';
    return 1;
  }

  const auto report = [&](bool failed, const std::string& status) {
    if (!status.empty()) out << status << '\n';
    if (!failed) return 0;
    err << kProgram << ": " << (first_error.empty() ? "failed" : first_error) << "\n"
        << "See the log: " << start.folders.log_file << '\n';
    return 1;
  };

  if (cl.command == "step") {
    const StepCommand& step = FindStep(cl.args);
    const int32_t code = step.run(Args(cl.args.begin() + 1, cl.args.end()));
    out << step.name << ": Ret=" << code << '\n';
    return report(code != 0, "");
  }

  HeadlessView view(err);
  Driver driver(view, start.folders);
  if (cl.command == "make") {
    const std::string picture = std::filesystem::absolute(cl.args[0]).lexically_normal().string();
    if (!FileExists(picture)) {
      err << kProgram << ": no such picture: " << cl.args[0] << '\n';
      return 1;
    }
    driver.SetOpenedPicture(picture);
  }
  const RunSummary summary = driver.RunOneClick();
  return report(summary.failed > 0 || summary.error, view.status());
}

}  // namespace

int RunCli(const Args& args, std::ostream& out, std::ostream& err) {
  CommandLine cl;
  try {
    cl = Parse(args);
  } catch (const UsageError& e) {
    err << kProgram << ": " << e.what() << "\nTry '" << kProgram << " --help'.\n";
    return 2;
  }
  if (cl.help) {
    out << kUsage;
    return 0;
  }
  if (cl.version) {
    out << kProgram << " " << FileVersion() << '\n';
    return 0;
  }
  try {
    return Execute(cl, out, err);
  } catch (const UsageError& e) {
    err << kProgram << ": " << e.what() << '\n';
    return 2;
  } catch (const std::exception& e) {
    err << kProgram << ": " << e.what() << '\n';
    return 1;
  }
}

}  // namespace kws
