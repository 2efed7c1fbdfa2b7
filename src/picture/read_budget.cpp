#include "picture/read_budget.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "format/number_text.h"

namespace kws {

namespace {

// "a TIFF": a picture's kind by its format, for the messages.
std::string KindOf(const QByteArray& format) {
  static const std::pair<const char*, const char*> kKinds[] = {
      {"jpeg", "a JPEG"}, {"png", "a PNG"},   {"tiff", "a TIFF"},  {"gif", "a GIF"},          {"bmp", "a bitmap"},
      {"webp", "a WebP"}, {"svg", "an SVG"},  {"ppm", "a PPM"},    {"pgm", "a PGM"},          {"pbm", "a PBM"},
      {"tga", "a TGA"},   {"ico", "an icon"}, {"cur", "a cursor"}, {"icns", "an Apple icon"}, {"xpm", "an XPM"},
      {"xbm", "an XBM"},  {"wbmp", "a WBMP"}, {"mng", "an MNG"},
  };
  for (const auto& [name, kind] : kKinds) {
    if (format == name) return kind;
  }
  return "a picture in this format";
}

// Whether Qt's reader of the format decodes into the picture it is given
// (the import's, made empty before); the others make their own beside it,
// and both stand until it is done.
bool DecodesIntoTheGivenPicture(const QByteArray& format) {
  static const char* const kFormats[] = {"jpeg", "png", "tiff", "bmp", "gif", "webp",
                                         "ppm",  "pgm", "pbm",  "xpm", "svg"};
  return std::any_of(std::begin(kFormats), std::end(kFormats), [&](const char* name) { return format == name; });
}

uint64_t Pixels(const QSize& size) {
  return uint64_t(std::max(0, size.width())) * uint64_t(std::max(0, size.height()));
}

// The picture as its reader makes it, rows padded to 4 bytes as a QImage's
// are; 4 bytes a pixel for the readers that do not say (GIF and WebP make
// 32-bit pictures).
uint64_t ImageBytes(const QSize& size, QImage::Format format) {
  const uint64_t bits = format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
  return uint64_t(std::max(0, size.height())) * ((uint64_t(std::max(0, size.width())) * bits + 31) / 32 * 4);
}

}  // namespace

std::optional<std::string> TooLargeToReadWhole(const WholeReading& reading) {
  const uint64_t pixels = Pixels(reading.size);
  const uint64_t copies = DecodesIntoTheGivenPicture(reading.format) ? 1 : 2;
  const uint64_t beside = copies * ImageBytes(reading.decoded, reading.image_format) + reading.needs.extra_bytes +
                          reading.needs.extra_bytes_a_pixel * pixels;
  if (pixels == 0 || reading.held_bytes + beside <= kMaxReadingBytes) return std::nullopt;
  if (std::optional<std::string> why = TooLargeToHold(reading.format, reading.held_bytes)) return why;
  const std::string kind = reading.needs.kind.empty() ? KindOf(reading.format) : reading.needs.kind;
  // As many pixels as fit beside the same file, each taking as much.
  const auto most = static_cast<uint64_t>(static_cast<double>(kMaxReadingBytes - reading.held_bytes) /
                                          static_cast<double>(beside) * static_cast<double>(pixels));
  return "at " + GroupDigits(uint64_t(reading.size.width())) + " x " + GroupDigits(uint64_t(reading.size.height())) +
         " pixels it is too large: " + kind + " is decoded whole, and the import takes one like it of up to " +
         GroupDigits(most) + " pixels";
}

std::optional<std::string> TooLargeToHold(const QByteArray& format, uint64_t bytes) {
  if (bytes < kMaxReadingBytes) return std::nullopt;
  return "at " + GroupDigits(bytes) + " bytes it is too large: " + KindOf(format) +
         " is held whole while it is decoded, and the import takes one of up to " + GroupDigits(kMaxReadingBytes) +
         " bytes";
}

}  // namespace kws
