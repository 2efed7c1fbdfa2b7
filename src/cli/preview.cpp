// preview: a bitmap or update image as the TV will show it, as a PNG.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <optional>
#include <ostream>
#include <vector>

#include "cli/commands.h"
#include "cli/display_option.h"
#include "cli/output_files.h"
#include "cli/terminal.h"
#include "fileio/file.h"
#include "fileio/name_text.h"
#include "fit/bitmap_file.h"
#include "inspect/inspect.h"
#include "picture/tv_preview.h"

namespace kws::cli {

namespace {

// The options of preview alone.
constexpr std::string_view kGuides = "--guides";
constexpr std::string_view kOverscan = "--overscan";

double OverscanOption(const Invocation& inv) {
  const std::string* text = inv.Value(kOverscan);
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
  options.guides = inv.Has(kGuides);
  options.overscan_percent = OverscanOption(inv);
  const QImage preview = RenderTvPreview(*picture, options);
  QByteArray png;
  {
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    preview.save(&buffer, "PNG");
  }
  WrittenTo written;
  try {
    const auto* bytes = reinterpret_cast<const uint8_t*>(png.constData());
    written = WriteJudged(out, target, std::span<const uint8_t>(bytes, static_cast<size_t>(png.size())));
  } catch (const std::exception& e) {
    inv.err << kProgram << ": cannot write " << Escaped(out) << ": " << Escaped(WriteFailureText(out, e)) << '\n';
    return 1;
  }
  SayWritten(inv, out, target, written);
  if (inv.verbosity() != Verbosity::kQuiet) {
    inv.out << "Preview written: " << Escaped(written.name) << " (" << preview.width() << " x " << preview.height()
            << ", as on a "
            << (options.display == Display::kSquare ? std::string("computer screen, pixel for pixel")
                                                    : DisplayName(options.display) + " TV")
            << ")\n";
  }
  return 0;
}

}  // namespace

const CommandSpec& PreviewCommandSpec() {
  static const CommandSpec entry = {
      .name = "preview",
      .arguments = "INPUT OUT.png",
      .min_args = 2,
      .max_args = 2,
      .summary = "show a bitmap or update image as the TV will: stretched to its shape, as a PNG",
      .options = {{option::kDisplay, 0, "4:3|16:9|square",
                   "the TV's shape (default 4:3; square: the receiver's pixels as they are)"},
                  {kGuides, 0, "", "draw the action-safe (yellow) and title-safe (cyan) areas"},
                  {kOverscan, 0, "PERCENT", "cut away what a TV hiding this much of the frame hides (0 to 20)"},
                  {option::kForce, 0, "",
                   "replace OUT.png even when it is not a preview this program made (never INPUT itself)"}},
      .example = "kestro-welcome-cli preview logo.bmp logo-tv.png --guides",
      .more_help = {},
      .check = CheckPreview,
      .run = PreviewCommand};
  return entry;
}

}  // namespace kws::cli
