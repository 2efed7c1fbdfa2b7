// inspect: the verdict on update images, their layers, and the picture inside.

#include "inspect/inspect.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <ostream>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/output_files.h"
#include "cli/terminal.h"

namespace kws::cli {

namespace {

// The option of inspect alone.
constexpr std::string_view kExtract = "--extract";

void CheckInspect(const Invocation& inv) {
  if (inv.Has(kExtract) && inv.args.size() != 1) {
    throw UsageError(std::string("usage: ") + kProgram + " inspect FILE --extract OUT.bmp");
  }
  if (inv.Has(option::kForce) && !inv.Has(kExtract)) throw UsageError("--force goes with --extract OUT.bmp");
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
  PutName(o, "file", file);
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
  const std::string* extract = inv.Value(kExtract);
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
    PrintJson(inv.out, doc);
  }
  if (!all_sound) return 1;
  // With --extract there is one file, and its report is the last.
  return extract ? WriteBitmap(inv, *extract, *report.picture, "Picture", target) : 0;
}

}  // namespace

const CommandSpec& InspectCommandSpec() {
  static const CommandSpec entry = {
      .name = "inspect",
      .arguments = "FILE...",
      .min_args = 1,
      .max_args = SIZE_MAX,
      .summary = "check update images before flashing: what each layer holds, or the first fault",
      .options = {{kExtract, 0, "OUT.bmp", "write the picture inside (one FILE) as a 720 x 576, 8-bit bitmap"},
                  {option::kForce, 0, "",
                   "replace OUT.bmp even when it is not a picture an extract wrote (never FILE itself)"}},
      .example = "kestro-welcome-cli inspect Output/logo_borvik200_usb_welcome.img",
      .more_help = {},
      .check = CheckInspect,
      .run = InspectCommand,
      .reports_json = true,
      .json_keys = {{"command", "inspect"},
                    {"files", "one entry per file, in the order given"},
                    {"files[].file", "the file's path"},
                    {"files[].file_bytes", "its exact bytes in base64 when it is not valid UTF-8, else null"},
                    {"files[].sound", "whether it is safe to flash"},
                    {"files[].verdict", "the verdict line"},
                    {"files[].kind", "what it is when sound (a USB or serial update image, ...), or null"},
                    {"files[].model", "the receiver it is for, or null"},
                    {"files[].serial_model", "the model name its serial header carries, or null"},
                    {"files[].fault", "the first fault when it is not sound, or null"},
                    {"files[].looks_like", "what the file looks like when it is no update image, or null"},
                    {"files[].layers", "each layer read, outermost first"},
                    {"files[].layers[].layer", "the layer's name"},
                    {"files[].layers[].fields", "what its fields hold"},
                    {"files[].picture", "the picture inside, or null"},
                    {"files[].picture.width", "its width"},
                    {"files[].picture.height", "its height"},
                    {"files[].picture.colours", "its colour table's entries"},
                    {"sound", "whether every file is sound"}}};
  return entry;
}

}  // namespace kws::cli
