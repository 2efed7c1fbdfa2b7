// import: any picture into a bitmap that fits the receivers.

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <ostream>

#include "cli/commands.h"
#include "cli/display_option.h"
#include "cli/json.h"
#include "cli/output_files.h"
#include "cli/terminal.h"
#include "fileio/file.h"
#include "fileio/name_text.h"
#include "fit/import_error.h"
#include "picture/import_picture.h"
#include "picture/tv_caption.h"

namespace kws::cli {

namespace {

// The options of import alone.
constexpr std::string_view kBackground = "--background";
constexpr std::string_view kFill = "--fill";
constexpr std::string_view kNoFit = "--no-fit";
constexpr std::string_view kDither = "--dither";
constexpr std::string_view kSafe = "--safe";
constexpr std::string_view kCaption = "--caption";
constexpr std::string_view kCaptionPosition = "--caption-position";
constexpr std::string_view kCaptionColour = "--caption-colour";
constexpr std::string_view kCaptionBand = "--caption-band";

Rgb ParseBackground(const std::string& text) {
  if (const std::optional<Rgb> color = ParseColor(text)) return *color;
  throw UsageError("--background takes #rrggbb or a colour name, not \"" + text + "\"");
}

SafeArea SafeOption(const Invocation& inv) {
  const std::string* text = inv.Value(kSafe);
  if (!text) return SafeArea::kNone;
  if (const std::optional<SafeArea> area = ParseSafeArea(*text)) return *area;
  throw UsageError("--safe takes action, title or none, not \"" + TerminalName(*text) + "\"");
}

DitherKind DitherOption(const Invocation& inv) {
  const std::string* text = inv.Value(kDither);
  if (!text) return DitherKind::kAuto;
  if (const std::optional<DitherKind> kind = ParseDitherKind(*text)) return *kind;
  throw UsageError("--dither takes auto, seen, selective or none, not \"" + TerminalName(*text) + "\"");
}

// The caption asked for, if any.
std::optional<Caption> CaptionOption(const Invocation& inv) {
  const std::string* text = inv.Value(kCaption);
  if (!text) {
    if (inv.Has(kCaptionPosition) || inv.Has(kCaptionColour) || inv.Has(kCaptionBand)) {
      throw UsageError("--caption-position, --caption-colour and --caption-band go with --caption TEXT");
    }
    return std::nullopt;
  }
  Caption caption;
  caption.text = *text;
  caption.band = inv.Has(kCaptionBand);
  if (const std::string* position = inv.Value(kCaptionPosition)) {
    const std::optional<CaptionPosition> parsed = ParseCaptionPosition(*position);
    if (!parsed) throw UsageError("--caption-position takes top or bottom, not \"" + TerminalName(*position) + "\"");
    caption.position = *parsed;
  }
  if (const std::string* colour = inv.Value(kCaptionColour)) {
    const std::optional<Rgb> parsed = ParseColor(*colour);
    if (!parsed) {
      throw UsageError("--caption-colour takes #rrggbb or a colour name, not \"" + TerminalName(*colour) + "\"");
    }
    caption.color = *parsed;
  }
  return caption;
}

void CheckImport(const Invocation& inv) {
  if (const std::string* background = inv.Value(kBackground)) ParseBackground(*background);
  DisplayOption(inv);
  SafeOption(inv);
  DitherOption(inv);
  CaptionOption(inv);
}

bool EndsInBmp(const std::string& name) {
  return name.size() >= 4 && std::equal(name.end() - 4, name.end(), ".bmp", [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

QJsonObject ImportJson(const std::string& picture, const std::string& out, const ImportReport* report,
                       const std::string& error, const WrittenTo& written = {}) {
  QJsonObject o;
  o["command"] = "import";
  PutName(o, "picture", picture);
  PutName(o, "output", written.name.empty() ? out : written.name);
  o["output_kept"] = written.Diverted() ? QJsonValue(JsonText(DivertedText(out, written))) : QJsonValue();
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
    o["dither_kind"] = JsonText(DitheredName(report->dithered));
    o["size"] = static_cast<qint64>(report->size);
    o["budget"] = static_cast<qint64>(report->budget);
    o["fits"] = report->Fits();
    o["fitted"] = report->fitted;
    // Infinite for a picture kept exactly; JSON has no infinity.
    o["smoothing"] = report->smoothing_strength;
    o["psnr_db"] = std::isinf(report->psnr_db) ? QJsonValue() : QJsonValue(report->psnr_db);
    o["psnr_seen_db"] = std::isinf(report->psnr_seen_db) ? QJsonValue() : QJsonValue(report->psnr_seen_db);
    QJsonArray warnings;
    for (const std::string& w : report->warnings) warnings.append(JsonText(w));
    o["warnings"] = warnings;
  }
  return o;
}

// Says why the import cannot go on, in JSON or on stderr; the exit status.
int ImportFailed(Invocation& inv, const std::string& message) {
  if (inv.json()) {
    PrintJson(inv.out, ImportJson(inv.args[0], inv.args[1], nullptr, message));
  } else {
    inv.err << kProgram << ": " << Escaped(message) << '\n';
  }
  return 1;
}

DestinationCheck JudgeDestination(const Invocation& inv) {
  return CheckDestination(inv.args[1], {inv.args[0]}, MadeFor::kImport);
}

// A destination the import may not write is refused before anything is done.
int RefuseDestination(Invocation& inv) {
  const std::string refused = OutputRefusal(inv, inv.args[1], JudgeDestination(inv));
  return refused.empty() ? 0 : ImportFailed(inv, refused);
}

// Writes the bitmap, logs the import and prints the fit report; the picture's
// problems go to stderr. A picture left too big on request, or one whose data
// was damaged but could still be read, is written, with a warning.
int ImportCommand(Invocation& inv) {
  ImportOptions options = TvImportOptions(DisplayOption(inv), SafeOption(inv));
  options.fill = inv.Has(kFill);
  options.fit = !inv.Has(kNoFit);
  options.dither = DitherOption(inv);
  options.caption = CaptionOption(inv);
  if (const std::string* background = inv.Value(kBackground)) options.background = ParseBackground(*background);
  const std::string& picture = inv.args[0];
  const std::string& out = inv.args[1];
  const auto fail = [&](const std::string& message) { return ImportFailed(inv, message); };
  // Judged again now that the folders are open: what is replaced is said.
  const DestinationCheck target = JudgeDestination(inv);
  if (const std::string refused = OutputRefusal(inv, out, target); !refused.empty()) return fail(refused);
  ImportReport report;
  WrittenTo written;
  try {
    report = ImportPictureLogged(picture, out, options, target, &written);
  } catch (const ImportError& e) {
    return fail(e.what());
  } catch (const FileError& e) {
    return fail("cannot write " + Escaped(out) + ": " + WriteFailureText(out, e));
  }
  SayWritten(inv, out, target, written);
  if (inv.json()) {
    PrintJson(inv.out, ImportJson(picture, out, &report, "", written));
    return 0;
  }
  if (inv.verbosity() != Verbosity::kQuiet) {
    // The warnings are said once, on stderr, where a script looks for them.
    ImportReport without_warnings = report;
    without_warnings.warnings.clear();
    inv.out << DescribeReport(without_warnings) << "Written: " << Escaped(written.name) << '\n';
  }
  for (const std::string& warning : report.warnings) {
    inv.err << kProgram << ": warning: " << Escaped(picture) << ": " << warning << '\n';
  }
  if (!EndsInBmp(written.name)) {
    inv.err
        << kProgram << ": warning: " << Escaped(written.name)
        << " is a Windows bitmap although its name does not end in .bmp; make and run take it, Input only as *.bmp\n";
  }
  if (!report.Fits()) {
    inv.err << kProgram << ": warning: " << Escaped(written.name)
            << " is too big for the receivers; import it without --no-fit\n";
  }
  return 0;
}

}  // namespace

const CommandSpec& ImportCommandSpec() {
  static const CommandSpec entry = {
      .name = "import",
      .arguments = "PICTURE OUT.bmp",
      .min_args = 2,
      .max_args = 2,
      .summary = "turn any picture (PNG, JPEG, GIF, a bitmap of any kind) into a 720 x 576, 8-bit bitmap that fits",
      .options = {{kBackground, 0, "COLOR", "around a picture scaled to fit (#rrggbb or a name; default black)"},
                  {kFill, 0, "", "scale to cover 720 x 576 and crop the rest instead"},
                  {kNoFit, 0, "", "keep every colour the quantiser chose, even when too big"},
                  {kDither, 0, kDitherKindChoices,
                   "the dithering the version taken may have (default auto; the kinds are described below)"},
                  {option::kForce, 0, "",
                   "replace OUT.bmp even when it is not a bitmap an import made (never PICTURE itself)"},
                  {option::kDisplay, 0, "4:3|16:9|square",
                   "the TV it is for: scaled to keep its shape there (default 4:3; square: pixels as they are)"},
                  {kSafe, 0, "action|title|none",
                   "fit it into the action-safe (90 %) or title-safe (80 %) area (default none)"},
                  {kCaption, 0, "TEXT",
                   "draw text on it inside the title-safe area (smaller or in two lines when long; refused if "
                   "it still does not fit)"},
                  {kCaptionPosition, 0, "top|bottom", "where the caption goes (default bottom)"},
                  {kCaptionColour, 0, "COLOR", "the caption's colour (#rrggbb or a name; default light grey)"},
                  {kCaptionBand, 0, "",
                   "put the caption on a band below (with top: above) the picture, made smaller for it"}},
      .example = "kestro-welcome-cli import holiday.jpg logo.bmp",
      .more_help =
          [] {
            return std::string(
                "\nA picture whose colours all fit keeps them exactly. Any other is quantised, and when too big for\n"
                "the receivers fitted: at a range of rates (palettes chosen for their bytes as well as their\n"
                "closeness), versions without dithering, with selective dithering (Floyd-Steinberg only where the\n"
                "picture is smooth) and with full dithering are made and measured as they will be written.\n"
                "PSNR compares every sample of the version with the picture. PSNR as seen compares both blurred\n"
                "(Gaussian, sigma 1 pixel) as a TV from the sofa shows them, so that dithering the eye averages out\n"
                "counts for it. By default (--dither auto) the import takes, of the versions that fit and lose no\n"
                "plain PSNR against the best selective one, the closest as seen; --dither seen takes the closest as\n"
                "seen however grainy, selective and none only versions of that kind, with or without --no-fit.\n"
                "The report gives colours, the dithering chosen and why, size against the budget, PSNR and PSNR as\n"
                "seen.\n");
          },
      .check = CheckImport,
      .uses_working_folders = true,
      .refuse_before_folders = RefuseDestination,
      .run = ImportCommand,
      .reports_json = true,
      .json_keys = {{"command", "import"},
                    {"picture", "the picture read"},
                    {"picture_bytes", "its exact bytes in base64 when it is not valid UTF-8, else null"},
                    {"output", "the bitmap written: OUT, or a free name beside it when OUT changed meanwhile"},
                    {"output_bytes", "its exact bytes in base64 when it is not valid UTF-8, else null"},
                    {"output_kept", "why OUT was kept and the bitmap written under another name, or null"},
                    {"written", "whether it was written"},
                    {"error", "why it was not (a caption too long, a picture that cannot be read), or null"},
                    {"source", "the picture's own size"},
                    {"source.width", "its width"},
                    {"source.height", "its height"},
                    {"placed", "its size on the 720 x 576 canvas"},
                    {"placed.width", "its width there"},
                    {"placed.height", "its height there"},
                    {"unchanged", "whether a bitmap the receivers take was kept as it is"},
                    {"display", "4:3, 16:9 or square"},
                    {"safe", "action, title or none"},
                    {"colours", "the colours kept"},
                    {"dithering", "the dithering kept, 0 to 1"},
                    {"dither_kind", "the dithering chosen: none, selective or full"},
                    {"size", "the colour table and compressed picture, in bytes"},
                    {"budget", "the most the smaller partition holds, in bytes"},
                    {"fits", "whether size is within budget"},
                    {"fitted", "whether something was given up to fit"},
                    {"smoothing", "always 0: kept for scripts that read it, as pictures are no longer smoothed"},
                    {"psnr_db", "the PSNR against the scaled picture, or null when it was kept exactly"},
                    {"psnr_seen_db",
                     "the PSNR as seen (both blurred as a TV shows them), by which the fit is chosen beside psnr_db; "
                     "null when it was kept exactly"},
                    {"warnings", "what shows badly on a TV, a damaged file, a caption's missing letters"}}};
  return entry;
}

}  // namespace kws::cli
