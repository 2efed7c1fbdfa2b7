#include "picture/canvas.h"

#include <sys/stat.h>

#include <QBuffer>
#include <QColor>
#include <QImageReader>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "fileio/file.h"
#include "fit/import_error.h"
#include "fit/place_on_canvas.h"
#include "format/byte_order.h"
#include "format/number_text.h"
#include "picture/bmp_shrink.h"
#include "picture/decode_checks.h"
#include "picture/picture_file.h"
#include "picture/png_shrink.h"
#include "picture/pnm_shrink.h"
#include "picture/read_budget.h"
#include "picture/svg_drawing.h"
#include "picture/text_setting.h"
#include "picture/webp_shrink.h"

namespace kws {

namespace {

std::string Dimensions(const QSize& size) {
  return GroupDigits(static_cast<uint64_t>(size.width())) + " x " + GroupDigits(static_cast<uint64_t>(size.height()));
}

// The warnings Qt's readers give while one picture is read on this thread
// (libjpeg's "Corrupt JPEG data: premature end of data segment", say),
// caught instead of printed; everything else goes where it went before.
class ReaderWarnings {
 public:
  ReaderWarnings() {
    const QtMessageHandler previous = qInstallMessageHandler(&Handle);
    if (previous != &Handle) previous_.store(previous);
    outer_ = current_;
    current_ = this;
  }
  ~ReaderWarnings() {
    current_ = outer_;
    if (!outer_) qInstallMessageHandler(previous_.load());
  }
  ReaderWarnings(const ReaderWarnings&) = delete;
  ReaderWarnings& operator=(const ReaderWarnings&) = delete;

  const std::vector<std::string>& messages() const { return messages_; }
  // A warning the reader gave elsewhere (in a child process).
  void Add(std::string message) {
    if (std::find(messages_.begin(), messages_.end(), message) == messages_.end())
      messages_.push_back(std::move(message));
  }
  bool Mention(const char* text) const {
    return std::any_of(messages_.begin(), messages_.end(),
                       [&](const std::string& m) { return m.find(text) != std::string::npos; });
  }

 private:
  // libpng's warnings come through Qt as info messages of its image
  // reading ("libpng warning: tEXt: CRC error"): said in our words, not raw.
  static bool FromReader(QtMsgType type, const QMessageLogContext& context) {
    if (type == QtWarningMsg || type == QtCriticalMsg) return true;
    return type == QtInfoMsg && context.category != nullptr && std::strcmp(context.category, "qt.gui.imageio") == 0;
  }

  static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (current_ && FromReader(type, context)) {
      std::string text = PrintableName(message.toStdString());
      auto& seen = current_->messages_;
      if (std::find(seen.begin(), seen.end(), text) == seen.end()) seen.push_back(std::move(text));
      return;
    }
    if (const QtMessageHandler previous = previous_.load()) previous(type, context, message);
  }

  static inline std::atomic<QtMessageHandler> previous_{nullptr};
  static inline thread_local ReaderWarnings* current_ = nullptr;
  ReaderWarnings* outer_ = nullptr;
  std::vector<std::string> messages_;
};

// The reason a picture file could not be read, without the name the file
// layer puts in front; a missing file in the words Qt's readers use.
std::string FileReason(const std::string& path, const FileError& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return "File not found";
  const std::string prefix = "Cannot open file " + PrintableName(path) + ": ";
  const std::string text = error.what();
  return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
}

// An SVG larger than its target is drawn at the target's size: what it
// costs to draw grows with the rows it is drawn into, and an SVG can claim
// any size. Its own size when it is drawn smaller, as ReadScaled gives it.
QSize DrawSvgScaled(QImageReader& reader, const QSize& own, const TargetSize& target) {
  const QSize needed = target(own);
  if (needed.isEmpty() || needed.width() >= own.width() || needed.height() >= own.height()) return {};
  reader.setScaledSize(needed);
  return own;
}

// Sets the reader of a JPEG of this size (as stored) to the smallest scale
// libjpeg decodes at that is no smaller than the target, if any is; the
// picture's own size upright, when it is read at a reduced scale. An SVG is
// drawn at the target's size when that is smaller.
QSize ReadScaled(QImageReader& reader, const QSize& stored, const TargetSize& target) {
  if (reader.format() == "svg") return DrawSvgScaled(reader, stored, target);
  if (reader.format() != "jpeg") return {};
  const bool turned = (reader.transformation() & QImageIOHandler::TransformationRotate90) != 0;
  const QSize upright = turned ? stored.transposed() : stored;
  QSize needed = target(upright);
  if (turned) needed.transpose();
  for (const int denominator : {8, 4, 2}) {
    // libjpeg rounds up.
    const QSize scaled((stored.width() + denominator - 1) / denominator,
                       (stored.height() + denominator - 1) / denominator);
    if (scaled.width() >= needed.width() && scaled.height() >= needed.height()) {
      reader.setScaledSize(scaled);
      return upright;
    }
  }
  return {};
}

// A PNG, uncompressed bitmap, binary PPM or PGM or WebP of more pixels than this, or too large
// to read whole, is shrunk while it is read when the canvas needs no more
// than half of it: whole, a 64-megapixel one would take 256 MB.
constexpr uint64_t kWholePixels = uint64_t{16} << 20;

// The picture shrunk while it is read, or nothing when it is read whole;
// reading is what reading it whole would take. Errors as error makes them.
template <class Error>
std::optional<QImage> ShrunkWhileRead(QImageReader& reader, QIODevice& device, const QByteArray* whole,
                                      const QSize& size, WholeReading reading, const TargetSize& target,
                                      const Error& error) {
  const QByteArray format = reader.format();
  const bool pnm = format == "ppm" || format == "pgm";
  if (!target || (format != "png" && format != "bmp" && format != "webp" && !pnm) || !size.isValid()) {
    return std::nullopt;
  }
  reading.size = reading.decoded = size;
  reading.image_format = reader.imageFormat();
  const bool large = static_cast<uint64_t>(size.width()) * static_cast<uint64_t>(size.height()) > kWholePixels;
  if (!large && !TooLargeToReadWhole(reading)) return std::nullopt;
  const QSize needed = target(size);
  if (needed.isEmpty()) return std::nullopt;
  const int factor = std::min(size.width() / needed.width(), size.height() / needed.height());
  if (format == "webp") {
    if (!whole || factor < 2) return std::nullopt;
    // libwebp holds the file, and a lossless picture's pixels, as it shrinks.
    reading.decoded = QSize((size.width() + factor - 1) / factor, (size.height() + factor - 1) / factor);
    reading.image_format = QImage::Format_RGBA8888;
    if (const std::optional<std::string> why = TooLargeToReadWhole(reading)) throw error(*why);
    return ReadWebpShrunk(*whole, factor);
  }
  // Read from the start; when that fails, the reader goes on from where it
  // stopped.
  const qint64 at = device.pos();
  if (!device.seek(0)) return std::nullopt;
  std::optional<QImage> shrunk = format == "png" ? ReadPngShrunk(device, factor)
                                 : pnm           ? ReadPnmShrunk(device, factor)
                                                 : ReadBmpShrunk(device, factor);
  if (!shrunk) device.seek(at);
  return shrunk;
}

// The image Qt made, or an ImportError saying what could not be made.
QImage Made(QImage image, const char* doing, const QSize& size) {
  if (image.isNull()) {
    throw ImportError(std::string("Not enough memory to ") + doing + " the picture at " + Dimensions(size) + " pixels");
  }
  return image;
}

// A picture's rows as plain RGBA, converted a strip of about a megabyte at
// a time as they are asked for: the whole picture converted would stand
// beside the decoded one, twice its memory for a 64-megapixel photo. Each
// pixel converts on its own, so the rows are those of the whole converted.
class RgbaStrips {
 public:
  explicit RgbaStrips(const QImage& picture) : picture_(picture) {}

  const uint8_t* Row(int y) {
    if (strip_.isNull() || y < first_ || y >= first_ + strip_.height()) {
      const qsizetype row_bytes = qsizetype{4} * picture_.width();
      const int rows =
          static_cast<int>(std::clamp<qsizetype>((qsizetype{1} << 20) / row_bytes, 1, picture_.height() - y));
      strip_ = Made(picture_.copy(0, y, picture_.width(), rows).convertToFormat(QImage::Format_RGBA8888), "convert",
                    picture_.size());
      first_ = y;
    }
    return strip_.constScanLine(y - first_);
  }

 private:
  const QImage& picture_;
  QImage strip_;
  int first_ = 0;
};

}  // namespace

std::string ReadableFormats() {
  std::string text;
  for (const QByteArray& format : QImageReader::supportedImageFormats()) {
    if (!text.empty()) text += ", ";
    text += format.toStdString();
  }
  return text;
}

namespace {

// Qt's reader's read(), an SVG's drawing bounded in time and memory.
template <class Error>
bool Read(QImageReader& reader, QImage& image, ReaderWarnings& warnings, const Error& error) {
  if (reader.format() != "svg") return reader.read(&image);
  SvgDrawing drawing = DrawSvgBounded(reader, image, [&warnings] { return warnings.messages(); });
  for (std::string& warning : drawing.warnings) warnings.Add(std::move(warning));
  if (!drawing.failed.empty()) throw error(drawing.failed);
  return drawing.read;
}

// Qt's reader reads the picture, at a reduced scale where it can (see
// ReadScaled), when that stays within the memory a reading may take (the
// reading's format, held bytes and decoder's needs filled in); errors as
// error makes them.
template <class Error>
void ReadWhole(QImageReader& reader, const QSize& size, const TargetSize& target, WholeReading reading,
               ReaderWarnings& warnings, DecodedPicture& decoded, const Error& error) {
  if (size.isValid()) {
    if (target) decoded.size = ReadScaled(reader, size, target);
    reading.size = size;
    reading.decoded = reader.scaledSize().isValid() ? reader.scaledSize() : size;
    reading.image_format = reader.imageFormat();
    if (const std::optional<std::string> why = TooLargeToReadWhole(reading)) throw error(*why);
    // Made here, empty, for the readers that fill in the image they are
    // given: what a damaged file leaves out is then empty, not whatever the
    // memory held before.
    const QImage::Format format = reader.imageFormat();
    if (format != QImage::Format_Invalid) {
      decoded.image = QImage(reader.scaledSize().isValid() ? reader.scaledSize() : size, format);
      if (!decoded.image.isNull()) decoded.image.fill(0);
    }
  } else if (reading.needs.size.isValid()) {
    // A reader that tells the size only as it decodes: the header's.
    reading.size = reading.decoded = reading.needs.size;
    if (std::optional<std::string> why = TooLarge(reading.size)) throw error(*why);
    if (std::optional<std::string> why = TooLargeToReadWhole(reading)) throw error(*why);
  }
  if (!Read(reader, decoded.image, warnings, error)) {
    if (warnings.Mention("allocation limit")) {
      throw error("it is too large: its reader would take more than the " + GroupDigits(kMaxReadingBytes) +
                  " bytes the import gives reading a picture");
    }
    std::string why = reader.errorString().toStdString();
    if (reader.error() == QImageReader::UnsupportedFormatError) {
      why += "; the formats it reads are " + ReadableFormats();
    } else if (!warnings.messages().empty()) {
      why += " (its reader said: " + warnings.messages().front() + ")";
    }
    throw error(why);
  }
}

// The picture in file, read from it as the reader goes, or, when whole is
// given, from those bytes (the file's, all of them).
DecodedPicture DecodeFrom(QIODevice& file, const QByteArray* whole, const std::string& name, const TargetSize& target) {
  const auto error = [&](const std::string& why) {
    return ImportError("Cannot read " + PrintableName(name) + " as a picture: " + why);
  };
  QBuffer buffer;
  QIODevice* device = &file;
  WholeReading reading;
  if (whole) {
    // Settled from the bytes before any reader decodes them: what would load
    // something from outside the picture or take more than the limits.
    const CheckedPicture checked = CheckBeforeDecoding(*whole);
    if (checked.refusal) throw error(*checked.refusal);
    // Qt's SVG reader sets the SVG's text with the fonts, which Qt gives out
    // only under a GUI application object.
    if (checked.svg && !EnsureTextSetting()) {
      throw error("SVG pictures are read only by the window and the command line");
    }
    buffer.setData(checked.bytes);
    buffer.open(QIODevice::ReadOnly);
    device = &buffer;
    reading.held_bytes = static_cast<uint64_t>(whole->size());
    if (checked.bytes.constData() != whole->constData()) reading.held_bytes += static_cast<uint64_t>(buffer.size());
  }
  const QByteArray head = whole ? *whole : file.peek(kFileHeadBytes);
  reading.format = QImageReader::imageFormat(device);
  reading.needs = FindDecoderNeeds(*device, whole);
  QImageReader reader(device);
  // The content decides, so that a PNG named .bmp still reads.
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);
  // Beyond what is checked before: no reader makes a picture over what a
  // reading may take.
  reader.setAllocationLimit(static_cast<int>(kMaxReadingBytes >> 20));

  ReaderWarnings warnings;
  DecodedPicture decoded;
  const QSize size = reader.size();
  if (size.isValid()) {
    if (const std::optional<std::string> why = TooLarge(size)) throw error(*why);
  }
  if (std::optional<QImage> shrunk = ShrunkWhileRead(reader, *device, whole, size, reading, target, error)) {
    decoded.image = std::move(*shrunk);
    decoded.size = size;
  } else {
    ReadWhole(reader, size, target, reading, warnings, decoded, error);
  }
  if (decoded.image.isNull()) throw error("its reader gave no picture");
  if (!decoded.size.isValid()) decoded.size = decoded.image.size();
  if (const std::optional<std::string> why = TooLarge(decoded.image.size())) throw error(*why);

  Damage damage = FindDamage(head, static_cast<uint64_t>(file.size()));
  if (damage.refusal) throw error(*damage.refusal);
  decoded.warnings = std::move(damage.warnings);
  for (const std::string& message : warnings.messages()) {
    decoded.warnings.push_back(
        "the picture data is damaged or cut short, so part of the picture may be missing or "
        "wrong (its reader said: " +
        message + ")");
  }
  return decoded;
}

}  // namespace

DecodedPicture ReadPicture(const std::string& path, const TargetSize& target) {
  const auto error = [&](const std::string& why) {
    return ImportError("Cannot read " + PrintableName(path) + " as a picture: " + why);
  };
  std::optional<PictureFile> file;
  try {
    file.emplace(path);
  } catch (const FileError& e) {
    throw error(FileReason(path, e));
  }
  const auto size = static_cast<uint64_t>(file->size());
  if (size > kMaxPictureFileBytes) {
    throw error("at " + GroupDigits(size) + " bytes the file is too large: the import takes up to " +
                GroupDigits(kMaxPictureFileBytes));
  }
  // Only what its checks or its reader need whole is read whole.
  const QByteArray head = file->peek(kFileHeadBytes);
  if (!NeedsWholeFile(head)) return DecodeFrom(*file, nullptr, path, target);
  if (const std::optional<std::string> why = TooLargeToHold(QImageReader::imageFormat(&*file), size)) {
    throw error(*why);
  }
  const QByteArray bytes = file->read(static_cast<qint64>(size));
  if (static_cast<uint64_t>(bytes.size()) != size) throw error(kStreamReadError);
  return DecodeFrom(*file, &bytes, path, target);
}

DecodedPicture DecodePicture(const QByteArray& bytes, const std::string& name, const TargetSize& target) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return DecodeFrom(buffer, NeedsWholeFile(bytes) ? &bytes : nullptr, name, target);
}

QSize PlacedSize(const QSize& source, bool fill) {
  return ToQSize(PlacePicture(source, fill, Display::kSquare, SafeArea::kNone).size);
}

QImage PlaceOnCanvas(const QImage& picture, const Rgb& background, bool fill) {
  return PlaceOnCanvas(picture, background, fill, Display::kSquare, SafeArea::kNone);
}

QImage PlaceOnCanvas(const QImage& picture, const Rgb& background, bool fill, Display display, SafeArea safe) {
  return PlaceOnCanvas(picture, picture.size(), background, fill, display, safe);
}

QImage PlaceOnCanvas(const QImage& picture, const QSize& source_size, const Rgb& background, bool fill, Display display,
                     SafeArea safe) {
  if (picture.isNull()) throw ImportError("There is no picture to place on the canvas");
  // The core places it, as it does in the browser; Qt only hands over the
  // pixels as plain RGBA, a strip at a time when the picture is in another
  // form.
  RgbaPixels pixels{
      picture.constBits(), picture.width(), picture.height(), static_cast<size_t>(picture.bytesPerLine()), {}};
  RgbaStrips strips(picture);
  if (picture.format() != QImage::Format_RGBA8888) pixels.row = [&strips](int y) { return strips.Row(y); };
  return ToQImage(PlaceOnCanvas(pixels, FromQSize(source_size), background, fill, display, safe));
}

RgbaPicture ToRgba(const QImage& image) {
  const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
  RgbaPicture picture(rgba.width(), rgba.height());
  for (int y = 0; y < picture.height; ++y) std::memcpy(picture.Row(y), rgba.constScanLine(y), picture.RowBytes());
  return picture;
}

QImage ToQImage(const RgbaPicture& picture) {
  const QSize size(picture.width, picture.height);
  QImage image = Made(QImage(size, QImage::Format_RGBA8888), "place", size);
  for (int y = 0; y < picture.height; ++y) std::memcpy(image.scanLine(y), picture.Row(y), picture.RowBytes());
  return image;
}

}  // namespace kws
