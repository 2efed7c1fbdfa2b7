// The page's entry points into the core. The page's worker writes the
// user's file into the in-memory file system under the same working folders
// the desktop programs use (/kws/Input, Temp, Output, Log), calls one of
// these, and reads the results back from there. Each returns a JSON text
// that stays valid until the next call.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/diagnosis.h"
#include "driver/driver.h"
#include "driver/image_purpose.h"
#include "driver/startup.h"
#include "fileio/file.h"
#include "fit/bitmap_file.h"
#include "fit/canvas_import.h"
#include "fit/import_decoded.h"
#include "fit/import_error.h"
#include "fit/place_on_canvas.h"
#include "fit/tv_checks.h"
#include "fit/tv_test_card.h"
#include "format/number_text.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "png_decode.h"
#include "sample/sample_picture.h"
#include "steps/step_result.h"
#include "stored_zip.h"

namespace kws::web {

namespace {

constexpr const char* kHome = "/kws";
// Where Check leaves the picture it found, and Import the bitmap it made, as
// RGBA rows, top row first.
constexpr const char* kCheckedPixels = "/kws/checked.rgba";
constexpr const char* kImportedPixels = "/kws/imported.rgba";
// Where Import leaves the picture as placed, before its colours were
// reduced, for the page's before and after.
constexpr const char* kPlacedPixels = "/kws/placed.rgba";

std::string g_reply;  // what the last call returned
StartupResult g_start;

// A JSON string; the core's texts are UTF-8 and control characters are
// escaped.
std::string Json(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      static const char* hex = "0123456789abcdef";
      out += "\\u00";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::string Json(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (size_t i = 0; i < texts.size(); ++i) out += (i ? "," : "") + Json(texts[i]);
  return out + "]";
}

const char* Reply(std::string json) {
  g_reply = std::move(json);
  return g_reply.c_str();
}

// The page shows pictures itself; every file goes on to the steps, which
// refuse what is no bitmap they take, with their reasons.
class PageView : public NullRunView {
 public:
  void SetStatus(const std::string& text) override { status = text; }
  void ImageWritten(const std::string& path, std::span<const uint8_t>) override { written.push_back(path); }
  void PictureDone(const PictureOutcome& done) override { outcome = done; }

  std::string status;
  std::vector<std::string> written;
  std::optional<PictureOutcome> outcome;
};

// A page run makes one picture: what an earlier run made is gone from
// Output, as the user has downloaded or discarded it.
void EmptyFolder(const std::string& folder) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
}

std::string ImagesJson(const std::string& base_name, const std::vector<std::string>& written) {
  std::string out = "[";
  bool first = true;
  for (const OutputImage& image : OutputImages(g_start.folders.output, base_name)) {
    if (std::find(written.begin(), written.end(), image.path) == written.end()) continue;
    struct stat st {};
    ::stat(image.path.c_str(), &st);
    out += first ? "" : ",";
    first = false;
    out += "{\"path\":" + Json(image.path) +
           ",\"name\":" + Json(std::filesystem::path(image.path).filename().string()) +
           ",\"receiver\":" + Json(image.receiver) + ",\"serial_model\":" + Json(image.serial_model) +
           ",\"kind\":" + Json(image.usb ? "usb" : "serial") + ",\"purpose\":" + Json(ImagePurpose(image)) +
           ",\"size\":" + std::to_string(st.st_size) + "}";
  }
  return out + "]";
}

void WritePixels(const Picture8& picture, const char* path) {
  std::vector<uint8_t> rgba;
  rgba.reserve(picture.pixels.size() * 4);
  for (const uint8_t index : picture.pixels) {
    const Rgb c = index < picture.palette.size() ? picture.palette[index] : Rgb{};
    rgba.insert(rgba.end(), {c.r, c.g, c.b, 0xFF});
  }
  WriteFileReplacing(path, rgba);
}

// "#rrggbb", as the page's colour field gives it; black for anything else.
Rgb HexColour(std::string_view text) {
  if (text.size() != 7 || text[0] != '#') return {};
  const auto byte = [&](size_t at) {
    return static_cast<uint8_t>(std::stoi(std::string(text.substr(at, 2)), nullptr, 16));
  };
  try {
    return Rgb{byte(1), byte(3), byte(5)};
  } catch (const std::exception&) {
    return {};
  }
}

std::string RectJson(const Rect& r) {
  return "[" + std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
         std::to_string(r.height) + "]";
}

// Writes the bitmap to out and its pixels for the page to show; the reply
// says how the TV shows it: its width as square pixels, and the safe areas.
// The summary leaves the warnings to the report, so that the page says each
// once; kept says the picture was a bitmap the receivers take, as it was;
// placed is the canvas its colours were reduced from, if any.
std::string ImportedReply(const Picture8& picture, MadeFor purpose, Display display, const std::string& summary,
                          const std::string& report, bool kept, size_t data_size, const RgbaPicture* placed,
                          const char* out) {
  WriteBitmap8(out, picture, purpose);
  WritePixels(picture, kImportedPixels);
  if (placed) WriteFileReplacing(kPlacedPixels, placed->rgba);
  const Size frame = SquareFrameSize(display);
  const Size size{picture.width, picture.height};
  return "{\"error\":\"\",\"summary\":" + Json(summary) + ",\"report\":" + Json(report) +
         ",\"kept\":" + (kept ? "true" : "false") + ",\"placed\":" + (placed ? Json(kPlacedPixels) : "null") +
         ",\"size\":" + std::to_string(data_size) + ",\"budget\":" + std::to_string(welcome::kMaxDataLength) +
         ",\"pixels\":" + Json(kImportedPixels) + ",\"width\":" + std::to_string(picture.width) +
         ",\"height\":" + std::to_string(picture.height) + ",\"shown_width\":" + std::to_string(frame.width) +
         ",\"action\":" + RectJson(SafeRect(SafeArea::kAction, size)) +
         ",\"title\":" + RectJson(SafeRect(SafeArea::kTitle, size)) + "}";
}

// The picture the page decoded, as the import places it: rgba (a file)
// holds its width x height pixels.
ImportCanvas PlaceDecoded(const std::string& name, const std::string& rgba, int width, int height,
                          const ImportOptions& options) {
  RgbaPicture picture;
  picture.width = width;
  picture.height = height;
  picture.rgba = ReadWholeFile(rgba, uint64_t{4} * uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0)));
  if (picture.rgba.size() != picture.RowBytes() * static_cast<size_t>(std::max(height, 0))) {
    throw ImportError("Cannot read " + PrintableName(name) + " as a picture: its reader gave no picture");
  }
  ImportCanvas placed;
  ReportPlacement({width, height}, options.fill, options.display, options.safe, placed.report);
  placed.canvas = PlaceOnCanvas(PixelsOf(picture), {width, height}, options.background, options.fill, options.display,
                                options.safe);
  return placed;
}

}  // namespace

}  // namespace kws::web

using namespace kws;
using namespace kws::web;

extern "C" {

// Creates the working folders and the activity log. The in-memory file
// system starts with a umask that leaves new files unreadable, and the
// driver reads every image back before it takes its name.
const char* kws_start() {
  ::umask(022);
  g_start = StartUp(kHome);
  return Reply("{\"caption\":" + Json(g_start.caption) + ",\"error\":" + Json(g_start.error) +
               ",\"input\":" + Json(g_start.folders.input) + ",\"update_ways\":" + Json(kUpdateWays) + "}");
}

// Writes the built-in sample picture to path.
const char* kws_sample(const char* path) {
  try {
    WriteBitmap8(path, MakeSamplePicture());
    return Reply("{\"error\":\"\"}");
  } catch (const std::exception& e) {
    return Reply("{\"error\":" + Json(e.what()) + "}");
  }
}

// Runs the desktop's pipeline on one picture in Input: the six update images
// land in Output under the desktop's names.
const char* kws_make(const char* picture) {
  EmptyFolder(g_start.folders.output);
  PageView view;
  RunSummary summary;
  // The run's entries of the activity log, as the page shows them.
  std::vector<std::string> lines;
  {
    const ScopedLogListener listener([&lines](std::string_view message, std::string_view) {
      lines.push_back(LogTimestamp() + " => " + std::string(message));
    });
    Driver driver(view, g_start.folders);
    summary = driver.RunPictures({picture});
  }
  const std::string base_name = BaseName(picture);
  const bool made = summary.pictures == 1 && summary.failed == 0 && !summary.error;
  std::string reason, hint, left, remedy;
  if (!made) {
    const std::optional<StepFailure> failure =
        view.outcome && view.outcome->failure ? view.outcome->failure : summary.run_failure;
    const Diagnosis why = failure ? Diagnose(picture, *failure) : Diagnosis{view.status, Remedy::kNone};
    reason = why.plain;
    // The hint says what would make the picture one the receivers take; the page's import does it.
    if (const std::string advice = RemedyAdvice(why.remedy); !advice.empty()) hint = "hint: " + advice;
    // Whether the page's own import makes of it a bitmap the receivers take.
    if (why.remedy == Remedy::kImport) remedy = "import";
    if (why.remedy == Remedy::kImportFit) remedy = "fit";
    left = ImagesLeftText(ImagesLeftBy(g_start.folders.output, base_name, view.written));
  }
  return Reply("{\"made\":" + std::string(made ? "true" : "false") + ",\"base\":" + Json(base_name) +
               ",\"status\":" + Json(view.status) + ",\"reason\":" + Json(reason) + ",\"hint\":" + Json(hint) +
               ",\"remedy\":" + Json(remedy) + ",\"left\":" + Json(left) + ",\"log\":" + Json(lines) +
               ",\"images\":" + ImagesJson(base_name, view.written) + "}");
}

// A zip of the files that list names, one a line as "path<TAB>name in the
// zip", in that order: a run's six images with their checksums and note, or
// a batch's images of every picture.
const char* kws_zip(const char* list, const char* out) {
  try {
    std::vector<ZipMember> members;
    std::string_view rest = list;
    while (!rest.empty()) {
      const size_t end = std::min(rest.find('\n'), rest.size());
      const std::string_view line = rest.substr(0, end);
      rest.remove_prefix(std::min(end + 1, rest.size()));
      const size_t tab = line.find('\t');
      if (tab == std::string_view::npos) continue;
      const std::string path(line.substr(0, tab));
      members.push_back({std::string(line.substr(tab + 1)), ReadWholeFile(path, kMaxUpdateImageSize)});
    }
    WriteFileReplacing(out, StoredZip(members));
    return Reply("{\"error\":\"\",\"members\":" + std::to_string(members.size()) + "}");
  } catch (const std::exception& e) {
    return Reply("{\"error\":" + Json(e.what()) + "}");
  }
}

// The inspector on one file: the verdict first, then its layers; a sound
// image's picture is left as RGBA in kCheckedPixels.
const char* kws_check(const char* path) {
  const InspectReport report = InspectFile(path);
  std::string picture = "null";
  if (report.picture) {
    try {
      WritePixels(*report.picture, kCheckedPixels);
      picture = "{\"width\":" + std::to_string(report.picture->width) +
                ",\"height\":" + std::to_string(report.picture->height) +
                ",\"colours\":" + std::to_string(report.picture->palette.size()) +
                ",\"pixels\":" + Json(kCheckedPixels) + "}";
    } catch (const std::exception&) {
      picture = "null";
    }
  }
  return Reply("{\"sound\":" + std::string(report.Sound() ? "true" : "false") +
               ",\"verdict\":" + Json(VerdictLine(report, AdviceWords::kPage)) + ",\"layers\":" + Json(report.layers) +
               ",\"report\":" + Json(ReportText(report)) + ",\"picture\":" + picture + "}");
}

// The import of a picture the page decoded: rgba (a file) holds its width x
// height pixels, straight alpha, top row first; file is the picture file
// itself, so that an 8-bit bitmap the receivers take is kept as it is; name
// is its name for the messages. Placed for the display and safe area ("4:3",
// "16:9", "square"; "none", "action", "title"), fitted or with fill covering
// it, on the background ("#rrggbb"), its colours chosen as the desktop
// chooses them with the dithering asked for ("auto", "seen", "selective",
// "none"), and written to out as the bitmap the pipeline takes. Its
// pixels are left in kImportedPixels for the page to show.
const char* kws_import(const char* file, const char* name, const char* rgba, int width, int height, const char* display,
                       const char* safe, int fill, const char* background, const char* dither, const char* out) {
  try {
    const Display shape = ParseDisplay(display).value_or(Display::k4x3);
    // The command line's and the window's import for a TV.
    ImportOptions options = TvImportOptions(shape, ParseSafeArea(safe).value_or(SafeArea::kNone));
    options.fill = fill != 0;
    options.background = HexColour(background);
    options.dither = ParseDitherKind(dither).value_or(DitherKind::kAuto);
    // The advice names the page's controls, not the command line's options.
    options.words = AdviceWords::kPage;
    const std::string shown = name;
    const std::string pixels = rgba;
    std::optional<RgbaPicture> placed;
    const ImportedPicture imported = ImportDecoded({file, shown,
                                                    [&](const ImportOptions& asked) {
                                                      ImportCanvas canvas =
                                                          PlaceDecoded(shown, pixels, width, height, asked);
                                                      placed = canvas.canvas;
                                                      return canvas;
                                                    }},
                                                   options);
    const ImportReport& report = imported.report;
    ImportReport without_warnings = report;
    without_warnings.warnings.clear();
    return Reply(ImportedReply(imported.picture, MadeFor::kImport, shape, SummarizeReport(without_warnings),
                               DescribeReport(report), report.unchanged, report.size, placed ? &*placed : nullptr,
                               out));
  } catch (const std::exception& e) {
    return Reply("{\"error\":" + Json(e.what()) + "}");
  }
}

// The PNG at path read with the page's own libpng, as the desktop reads it,
// its RGBA rows written to out: {"width": ..., "height": ...}; a width of 0
// when it is no PNG, holds more than max_pixels pixels or libpng cannot read
// it, and the browser's decoder is to try.
const char* kws_read_png(const char* path, const char* out, double max_pixels) {
  try {
    const std::optional<RgbaPicture> picture = ReadPng(path, static_cast<uint64_t>(max_pixels));
    if (!picture) return Reply("{\"width\":0,\"height\":0}");
    WriteFileReplacing(out, picture->rgba);
    return Reply("{\"width\":" + std::to_string(picture->width) + ",\"height\":" + std::to_string(picture->height) +
                 "}");
  } catch (const std::exception&) {
    return Reply("{\"width\":0,\"height\":0}");
  }
}

// The TV test card, written to out and shown as a 4:3 TV shows it, as the
// import's bitmap is.
const char* kws_test_card(const char* out) {
  try {
    const Picture8 card = MakeTestCard();
    const size_t size = WelcomeDataSize(card);
    const std::string summary = "TV test card, " + std::to_string(card.palette.size()) + " colours, " +
                                GroupDigits(size) + " of " + GroupDigits(welcome::kMaxDataLength) + " bytes";
    return Reply(ImportedReply(card, MadeFor::kTestCard, Display::k4x3, summary, summary, false, size, nullptr, out));
  } catch (const std::exception& e) {
    return Reply("{\"error\":" + Json(e.what()) + "}");
  }
}

}  // extern "C"
