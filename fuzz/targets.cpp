#include "fuzz/targets.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "driver/driver.h"
#include "fileio/file.h"
#include "fit/svg_cost.h"
#include "inspect/inspect.h"
#include "log/activity_log.h"
#include "picture/canvas.h"
#include "picture/import_picture.h"
#include "steps/steps.h"

namespace kws::fuzz {

namespace {

// One scratch folder per process, with the working folders in it, removed
// at exit; the log goes nowhere, so that a long run does not fill the disk.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kws-fuzz-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    path_ = tmpl;
    SetLogFilePath("");
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& Scratch() {
  static const ScratchFolder folder;
  return folder.path();
}

std::string WriteInput(const uint8_t* data, size_t size, const char* name) {
  const std::string path = Scratch() + "/" + name;
  WriteFileReplacing(path, std::vector<uint8_t>(data, data + size));
  return path;
}

}  // namespace

void Convbmp(const uint8_t* data, size_t size) {
  const std::string bitmap = WriteInput(data, size, "in.bmp");
  convbmp(bitmap, Scratch() + "/ct", Scratch() + "/raw");
}

void Rawconv(const uint8_t* data, size_t size) {
  const std::string raw = WriteInput(data, size, "in.raw");
  rawconv(raw, Scratch() + "/raw2");
}

void Pipeline(const uint8_t* data, size_t size) {
  static const WorkingFolders folders = StartUp(Scratch() + "/home").folders;
  static NullRunView view;
  static Driver driver(view, folders);
  SetLogFilePath("");
  const std::string picture = WriteInput(data, size, "picture.bmp");
  if (driver.ProcessFile(picture) == 0) {
    // Output only grows; keep it to one picture's images.
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folders.output, ec)) std::filesystem::remove(e.path(), ec);
  }
}

// Never a crash, and a picture comes back exactly when the image is sound.
void Inspect(const uint8_t* data, size_t size) {
  const InspectReport report = InspectImage({data, size});
  if (report.Sound() != report.picture.has_value()) std::abort();
  if (report.picture && report.picture->pixels.size() != kPictureBytes) std::abort();
}

// Never a crash and never a decompression bomb. Reading and placing take
// the bytes as they come: every input is decoded, and placed filling or
// fitting by its length. The colour reduction after them works on the
// fixed 720 x 576 canvas whatever the input, yet takes four fifths of an
// import's time; so the whole import, which must give a picture the
// pipeline takes or an ImportError, runs on one length in four.
void Import(const uint8_t* data, size_t size) {
  const bool fill = size % 2 == 1;
  try {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QImage canvas = PlaceOnCanvas(DecodePicture(bytes, "picture").image, Rgb{}, fill);
    if (canvas.size() != QSize(kPictureWidth, kPictureHeight) || canvas.format() != QImage::Format_RGBA8888) {
      std::abort();
    }
  } catch (const ImportError&) {
  }
  if (size / 2 % 4 != 0) return;
  const std::string picture = WriteInput(data, size, "picture");
  try {
    const ImportedPicture imported = ImportPicture(picture, {.fill = fill, .fit = false});
    const Picture8& p = imported.picture;
    if (p.width != kPictureWidth || p.height != kPictureHeight || p.pixels.size() != kPictureBytes) std::abort();
    if (p.palette.empty() || p.palette.size() > kMaxPaletteColors) std::abort();
    for (const uint8_t index : p.pixels) {
      if (index >= p.palette.size()) std::abort();
    }
    if (imported.report.colors != static_cast<int>(p.palette.size())) std::abort();
  } catch (const ImportError&) {
  }
}

// The count's verdict follows its counts, and counting never faults.
void SvgCost(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const kws::SvgCost cost = CountSvgCost(text);
  const bool over = cost.elements > kMaxSvgElements || cost.dashes > kMaxSvgDashes ||
                    cost.stroke_area > kMaxSvgStrokeArea || cost.filters > kMaxSvgFilters;
  const std::optional<std::string> why = TooComplexToDraw(cost);
  if (why.has_value() != over) std::abort();
  if (why && why->rfind("this drawing is too complex to draw here (", 0) != 0) std::abort();
}

}  // namespace kws::fuzz
