#include "picture/pnm_shrink.h"

#include <QByteArray>
#include <algorithm>
#include <cctype>
#include <cstdint>

#include "picture/block_sums.h"
#include "picture/canvas.h"

namespace kws {

namespace {

// A header longer than this (comments) is left to Qt's reader.
constexpr qsizetype kMostHeaderBytes = 4096;

struct Layout {
  char kind = '6';  // '6' PPM, '5' PGM
  int width = 0, height = 0, maxval = 0;
  qsizetype offset = 0;  // where the samples start
  uint64_t row_bytes = 0;
};

// The next number of the header from at, past white space and comments
// (from '#' to the end of the line); -1 when there is none.
int64_t Number(const QByteArray& head, qsizetype& at) {
  for (;;) {
    while (at < head.size() && std::isspace(static_cast<unsigned char>(head[at]))) ++at;
    if (at >= head.size() || head[at] != '#') break;
    while (at < head.size() && head[at] != '\n' && head[at] != '\r') ++at;
  }
  int64_t value = 0;
  const qsizetype start = at;
  while (at < head.size() && std::isdigit(static_cast<unsigned char>(head[at])) && value <= kMaxPictureSide) {
    value = value * 10 + (head[at++] - '0');
  }
  return at == start ? -1 : value;
}

std::optional<Layout> ReadLayout(const QByteArray& head) {
  if (head.size() < 3 || head[0] != 'P' || (head[1] != '5' && head[1] != '6')) return std::nullopt;
  Layout layout;
  layout.kind = head[1];
  qsizetype at = 2;
  const int64_t width = Number(head, at), height = Number(head, at), maxval = Number(head, at);
  // One white space character ends the header.
  if (at >= head.size() || !std::isspace(static_cast<unsigned char>(head[at]))) return std::nullopt;
  if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide) return std::nullopt;
  if (maxval <= 0 || maxval > 65535) return std::nullopt;
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  layout.maxval = static_cast<int>(maxval);
  layout.offset = at + 1;
  const uint64_t samples = layout.kind == '6' ? 3 : 1;
  layout.row_bytes = uint64_t(layout.width) * samples * (maxval > 255 ? 2 : 1);
  return layout;
}

// Picture rows top .. top + count - 1 as Qt reads them: a file of the same
// kind with these rows alone.
QImage StripOf(QIODevice& device, const Layout& layout, int top, int count) {
  QByteArray strip = "P" + QByteArray(1, layout.kind) + "\n" + QByteArray::number(layout.width) + " " +
                     QByteArray::number(count) + "\n" + QByteArray::number(layout.maxval) + "\n";
  const qsizetype header = strip.size();
  strip.resize(header + static_cast<qsizetype>(uint64_t(count) * layout.row_bytes));
  const auto at = static_cast<qint64>(uint64_t(layout.offset) + uint64_t(top) * layout.row_bytes);
  if (!device.seek(at)) return {};
  const qint64 read = device.read(strip.data() + header, strip.size() - header);
  strip.resize(header + std::max<qint64>(read, 0));
  QImage image;
  if (!image.loadFromData(strip, layout.kind == '6' ? "PPM" : "PGM") || image.size() != QSize(layout.width, count)) {
    return {};
  }
  return image.convertToFormat(QImage::Format_RGBA8888);
}

}  // namespace

std::optional<QImage> ReadPnmShrunk(QIODevice& device, int factor) {
  if (factor < 2 || !device.seek(0)) return std::nullopt;
  const std::optional<Layout> layout = ReadLayout(device.peek(kMostHeaderBytes));
  if (!layout) return std::nullopt;
  return ShrinkByStrips(layout->width, layout->height, factor, layout->row_bytes, false,
                        [&](int top, int count) { return StripOf(device, *layout, top, count); });
}

}  // namespace kws
