#include "picture/decoder_needs.h"

#include <webp/decode.h>

#include <QByteArray>
#include <algorithm>
#include <optional>
#include <vector>

#include "format/byte_order.h"

namespace kws {

namespace {

// The bytes a WebP's features are looked for in when the file is not held.
constexpr qint64 kWebpHeadBytes = 64 * 1024;

const uint8_t* Bytes(const QByteArray& bytes) { return reinterpret_cast<const uint8_t*>(bytes.constData()); }

uint64_t RoundUp(uint64_t value, uint64_t step) { return (value + step - 1) / step * step; }

// A JPEG's frame, as its header gives it, and how many of its components
// the first scan holds.
struct JpegFrame {
  bool progressive = false;
  uint64_t width = 0, height = 0;
  std::vector<std::pair<int, int>> sampling;  // each component's horizontal and vertical factors
  int first_scan_components = 0;
};

bool StartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

void ReadFrame(const QByteArray& segment, uint8_t marker, JpegFrame& frame) {
  const uint8_t* b = Bytes(segment);
  if (segment.size() < 6) return;
  frame.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
  frame.height = (uint64_t{b[1]} << 8) | b[2];
  frame.width = (uint64_t{b[3]} << 8) | b[4];
  frame.sampling.clear();
  for (qsizetype at = 6; at + 3 <= segment.size() && frame.sampling.size() < b[5]; at += 3) {
    frame.sampling.emplace_back(std::max(1, b[at + 1] >> 4), std::max(1, b[at + 1] & 15));
  }
}

// The markers up to the first scan, each segment skipped but the frame's.
std::optional<JpegFrame> ReadJpegFrame(QIODevice& device) {
  if (device.read(2) != QByteArray("\xFF\xD8", 2)) return std::nullopt;
  JpegFrame frame;
  char c = 0;
  for (;;) {
    if (!device.getChar(&c)) return std::nullopt;
    if (static_cast<uint8_t>(c) != 0xFF) continue;
    do {
      if (!device.getChar(&c)) return std::nullopt;
    } while (static_cast<uint8_t>(c) == 0xFF);
    const auto marker = static_cast<uint8_t>(c);
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
    if (marker == 0xD9) return std::nullopt;
    const QByteArray length = device.read(2);
    if (length.size() != 2) return std::nullopt;
    const int body = ((Bytes(length)[0] << 8) | Bytes(length)[1]) - 2;
    if (body < 0) return std::nullopt;
    if (marker == 0xDA) {
      const QByteArray count = device.read(1);
      if (count.size() != 1 || frame.sampling.empty()) return std::nullopt;
      frame.first_scan_components = Bytes(count)[0];
      return frame;
    }
    if (StartOfFrame(marker)) {
      ReadFrame(device.read(body), marker, frame);
    } else if (!device.seek(device.pos() + body)) {
      return std::nullopt;
    }
  }
}

// libjpeg's coefficients for the whole picture: each component's blocks,
// rounded up to whole groups of its sampling factors, 128 bytes each.
uint64_t CoefficientBytes(const JpegFrame& frame) {
  int most_across = 1, most_down = 1;
  for (const auto& [across, down] : frame.sampling) {
    most_across = std::max(most_across, across);
    most_down = std::max(most_down, down);
  }
  uint64_t bytes = 0;
  for (const auto& [across, down] : frame.sampling) {
    const uint64_t blocks_across = (frame.width * across + 8u * most_across - 1) / (8u * most_across);
    const uint64_t blocks_down = (frame.height * down + 8u * most_down - 1) / (8u * most_down);
    bytes += RoundUp(blocks_across, across) * RoundUp(blocks_down, down) * 128;
  }
  return bytes;
}

DecoderNeeds JpegNeeds(QIODevice& device) {
  const std::optional<JpegFrame> frame = ReadJpegFrame(device);
  if (!frame) return {};
  const bool several_scans = frame->first_scan_components < static_cast<int>(frame->sampling.size());
  if (!frame->progressive && !several_scans) return {};
  return {frame->progressive ? "a progressive JPEG" : "a JPEG in several scans", CoefficientBytes(*frame), 0, {}};
}

// One of a TIFF directory's entries: its first value.
struct TiffReader {
  QIODevice& device;
  bool big_endian;

  uint32_t Get(const uint8_t* at, int bytes) const {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint32_t{at[big_endian ? bytes - 1 - i : i]} << (8 * i);
    return value;
  }

  // The first value of an entry of type SHORT (3) or LONG (4).
  std::optional<uint32_t> First(const uint8_t* entry) const {
    const uint32_t type = Get(entry + 2, 2), count = Get(entry + 4, 4);
    const int bytes = type == 3 ? 2 : type == 4 ? 4 : 0;
    if (bytes == 0 || count == 0) return std::nullopt;
    if (uint64_t{count} * bytes <= 4) return Get(entry + 8, bytes);
    if (!device.seek(Get(entry + 8, 4))) return std::nullopt;
    const QByteArray value = device.read(bytes);
    if (value.size() != bytes) return std::nullopt;
    return Get(Bytes(value), bytes);
  }
};

// The bytes of one strip (or tile) of the first directory's picture, as
// libtiff decodes it; nothing when the header is not one this reads.
std::optional<uint64_t> TiffStripBytes(QIODevice& device) {
  const QByteArray header = device.read(8);
  if (header.size() != 8) return std::nullopt;
  const bool big = header.startsWith(QByteArray("MM\0*", 4));
  if (!big && !header.startsWith(QByteArray("II*\0", 4))) return std::nullopt;
  TiffReader tiff{device, big};
  if (!device.seek(tiff.Get(Bytes(header) + 4, 4))) return std::nullopt;
  const QByteArray count = device.read(2);
  if (count.size() != 2) return std::nullopt;
  const QByteArray entries = device.read(qint64{12} * tiff.Get(Bytes(count), 2));
  // The fields as the TIFF standard has them when they are left out.
  uint64_t width = 0, height = 0, bits = 1, samples = 1, rows = UINT32_MAX, tile_width = 0, tile_height = 0;
  for (qsizetype at = 0; at + 12 <= entries.size(); at += 12) {
    const uint8_t* entry = Bytes(entries) + at;
    uint64_t* field = nullptr;
    switch (tiff.Get(entry, 2)) {
      case 256:
        field = &width;
        break;
      case 257:
        field = &height;
        break;
      case 258:
        field = &bits;
        break;
      case 277:
        field = &samples;
        break;
      case 278:
        field = &rows;
        break;
      case 322:
        field = &tile_width;
        break;
      case 323:
        field = &tile_height;
        break;
      default:
        continue;
    }
    const std::optional<uint32_t> value = tiff.First(entry);
    if (!value) return std::nullopt;
    *field = *value;
  }
  // Beyond these the sums below could overflow; no reader takes such a TIFF.
  if (std::max({width, height, rows == UINT32_MAX ? 0 : rows, tile_width, tile_height}) > (uint64_t{1} << 24) ||
      bits > 128 || samples > 64) {
    return std::nullopt;
  }
  if (tile_width > 0 && tile_height > 0) return tile_height * ((tile_width * samples * bits + 7) / 8);
  return std::min(rows, height) * ((width * samples * bits + 7) / 8);
}

DecoderNeeds TiffNeeds(QIODevice& device) {
  if (const std::optional<uint64_t> strip = TiffStripBytes(device)) return {"", 2 * *strip, 0, {}};
  // A header this does not read may hold the picture in one strip, of up
  // to 4 bytes a pixel.
  return {"", 0, 2 * 4, {}};
}

DecoderNeeds WebpNeeds(const QByteArray& bytes) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()),
                      &features) != VP8_STATUS_OK ||
      features.has_animation) {
    return {"an animated WebP", 0, 8, {}};
  }
  if (features.format == 2) return {"a lossless WebP", 0, 4, {}};
  if (features.has_alpha) return {"a WebP with transparency", 0, 2, {}};
  return {};
}

// The frame size an MNG's header (MHDR) gives.
DecoderNeeds MngNeeds(const QByteArray& head) {
  DecoderNeeds needs{"", 0, 3, {}};
  if (head.size() >= 24 && head.mid(12, 4) == "MHDR") {
    const uint32_t width = GetBE32(Bytes(head) + 16), height = GetBE32(Bytes(head) + 20);
    if (width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX) {
      needs.size = QSize(static_cast<int>(width), static_cast<int>(height));
    }
  }
  return needs;
}

}  // namespace

DecoderNeeds FindDecoderNeeds(QIODevice& device, const QByteArray* whole) {
  if (!device.seek(0)) return {};
  const QByteArray magic = device.peek(4);
  DecoderNeeds needs;
  if (magic.startsWith("\xFF\xD8")) {
    needs = JpegNeeds(device);
  } else if (magic == QByteArray("II*\0", 4) || magic == QByteArray("MM\0*", 4)) {
    needs = TiffNeeds(device);
  } else if (magic.startsWith("GIF8")) {
    needs.extra_bytes_a_pixel = 4;
  } else if (magic == "\x8AMNG") {
    needs = MngNeeds(device.peek(24));
  } else if (magic.startsWith("RIFF")) {
    needs = WebpNeeds(whole ? *whole : device.peek(kWebpHeadBytes));
  }
  device.seek(0);
  return needs;
}

}  // namespace kws
