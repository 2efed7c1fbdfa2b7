#include "picture/bmp_shrink.h"

#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "format/byte_order.h"
#include "picture/block_sums.h"
#include "picture/canvas.h"

namespace kws {

namespace {

// Where the pixels start may be no further into the file than this.
constexpr uint32_t kMostHeaderBytes = uint32_t{1} << 20;

// What of a bitmap's headers the strips need.
struct Layout {
  uint32_t offset = 0;
  int width = 0, height = 0;  // the height as stored: below 0 for rows stored top first
  uint64_t row_bytes = 0;
};

bool Readable(uint32_t bits, uint32_t compression) {
  if (compression == 3) return bits == 16 || bits == 32;  // colour masks
  return compression == 0 && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

std::optional<Layout> ReadLayout(const QByteArray& head) {
  if (head.size() < 54 || !head.startsWith("BM")) return std::nullopt;
  const auto* b = reinterpret_cast<const uint8_t*>(head.constData());
  const uint32_t info_size = GetLE32(b + 14), bits = GetLE16(b + 28), compression = GetLE32(b + 30);
  const uint32_t colours = GetLE32(b + 46);
  Layout layout;
  layout.offset = GetLE32(b + 10);
  layout.width = static_cast<int32_t>(GetLE32(b + 18));
  layout.height = static_cast<int32_t>(GetLE32(b + 22));
  if (info_size < 40 || !Readable(bits, compression) || colours > 256) return std::nullopt;
  if (layout.width <= 0 || layout.height == 0 || layout.width > kMaxPictureSide ||
      std::abs(int64_t{layout.height}) > kMaxPictureSide) {
    return std::nullopt;
  }
  // The headers, the masks after a short one, the colour table.
  uint64_t end = 14 + uint64_t{info_size};
  if (info_size == 40 && compression == 3) end += 12;
  if (bits <= 8) end += 4 * uint64_t{colours != 0 ? colours : 1u << bits};
  if (layout.offset < end || layout.offset > kMostHeaderBytes) return std::nullopt;
  layout.row_bytes = (uint64_t(layout.width) * bits + 31) / 32 * 4;
  return layout;
}

// The file's rows first .. first + count - 1 as stored, zeros for those
// past its end.
QByteArray StoredRows(QIODevice& device, const Layout& layout, uint64_t first, uint64_t count) {
  QByteArray rows(static_cast<qsizetype>(count * layout.row_bytes), '\0');
  const auto at = static_cast<qint64>(layout.offset + first * layout.row_bytes);
  if (at < device.size() && device.seek(at)) device.read(rows.data(), rows.size());
  return rows;
}

// Picture rows top .. top + count - 1 (counted from the top) as Qt reads
// them: a bitmap of the file's headers and these rows alone.
QImage StripOf(QIODevice& device, const Layout& layout, QByteArray headers, int top, int count) {
  const int height = std::abs(layout.height);
  const bool bottom_first = layout.height > 0;
  const uint64_t first = bottom_first ? uint64_t(height - top - count) : uint64_t(top);
  headers.append(StoredRows(device, layout, first, uint64_t(count)));
  auto* b = reinterpret_cast<uint8_t*>(headers.data());
  PutLE32(b + 2, static_cast<uint32_t>(headers.size()));
  PutLE32(b + 22, static_cast<uint32_t>(bottom_first ? count : -count));
  PutLE32(b + 34, static_cast<uint32_t>(uint64_t(count) * layout.row_bytes));
  QImage strip;
  if (!strip.loadFromData(headers, "BMP") || strip.size() != QSize(layout.width, count)) return {};
  return strip.convertToFormat(QImage::Format_RGBA8888);
}

}  // namespace

std::optional<QImage> ReadBmpShrunk(QIODevice& device, int factor) {
  if (factor < 2 || !device.seek(0)) return std::nullopt;
  const std::optional<Layout> layout = ReadLayout(device.peek(54));
  if (!layout) return std::nullopt;
  const QByteArray headers = device.read(layout->offset);
  if (headers.size() != static_cast<qsizetype>(layout->offset)) return std::nullopt;
  return ShrinkByStrips(layout->width, std::abs(layout->height), factor, layout->row_bytes, layout->height > 0,
                        [&](int top, int count) { return StripOf(device, *layout, headers, top, count); });
}

}  // namespace kws
