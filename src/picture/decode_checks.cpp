#include "picture/decode_checks.h"

#include <zlib.h>

#include <QBuffer>
#include <QImageReader>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "fileio/file.h"
#include "fit/svg_cost.h"
#include "format/byte_order.h"
#include "format/number_text.h"
#include "picture/canvas.h"
#include "picture/read_budget.h"

namespace kws {

namespace {

constexpr uint64_t kMaxPixels = kMaxDecodedBytes / 4;
// Qt's SVG reader holds each picture an SVG holds decoded, at 4 bytes a
// pixel, while it draws them all: together they may take what reading one
// picture may.
constexpr uint64_t kMaxHeldPixels = kMaxReadingBytes / 4;

std::string Dimensions(uint64_t width, uint64_t height) { return GroupDigits(width) + " x " + GroupDigits(height); }

bool Gzip(const QByteArray& bytes) { return bytes.startsWith("\x1f\x8b"); }

// The format Qt's readers take these bytes for, as they decide it from the
// content: "svg", "gif", ...; empty when none takes them.
QByteArray FormatOf(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return QImageReader::imageFormat(&buffer);
}

// A GIF's layout, walked block by block without decoding: its frames' sizes
// and where the file ends. Qt's reader decodes every pixel of a frame
// however large, even one far over the picture's own size, and takes a file
// that ends early without a word.
struct GifLayout {
  std::vector<QSize> frames;
  bool cut_short = false;     // the file ends before its end marker (0x3B)
  bool cut_in_first = false;  // and inside the data of the picture shown
};

std::optional<GifLayout> WalkGif(const QByteArray& file) {
  if (!file.startsWith("GIF87a") && !file.startsWith("GIF89a")) return std::nullopt;
  const auto* b = reinterpret_cast<const uint8_t*>(file.constData());
  const size_t size = static_cast<size_t>(file.size());
  GifLayout layout;
  // Where the file ends before its end marker.
  const auto cut = [&layout](bool in_first) {
    layout.cut_short = true;
    layout.cut_in_first = in_first;
    return layout;
  };
  size_t at = 13;  // signature and logical screen
  if (at > size) return cut(true);
  const auto colour_table = [&](uint8_t flags) { return (flags & 0x80) ? size_t{3} << ((flags & 7) + 1) : 0; };
  at += colour_table(b[10]);
  // Sub-blocks up to the empty one; false when the file ends first.
  const auto skip_blocks = [&] {
    while (at < size) {
      const uint8_t length = b[at++];
      if (length == 0) return true;
      at += length;
    }
    return false;
  };
  while (at < size) {
    const uint8_t introducer = b[at++];
    if (introducer == 0x3B) return layout;
    if (introducer == 0x21) {
      if (++at > size || !skip_blocks()) return cut(layout.frames.empty());
    } else if (introducer == 0x2C) {
      const bool first = layout.frames.empty();
      if (at + 9 > size) return cut(first);
      layout.frames.emplace_back(GetLE16(b + at + 4), GetLE16(b + at + 6));
      at += 9 + colour_table(b[at + 8]);
      if (++at > size || !skip_blocks()) return cut(first);  // the LZW code size, then the data
    } else {
      return layout;  // not a GIF block: the readers stop here, as at the end marker
    }
  }
  return cut(layout.frames.empty());
}

// Why a GIF is not decoded: a frame over the pixel limit.
std::optional<std::string> GifRefusal(const QByteArray& file) {
  const std::optional<GifLayout> layout = WalkGif(file);
  if (!layout) return std::nullopt;
  for (size_t i = 0; i < layout->frames.size(); ++i) {
    const QSize& frame = layout->frames[i];
    if (uint64_t(frame.width()) * uint64_t(frame.height()) > kMaxPixels) {
      return "its frame " + std::to_string(i + 1) + " is " + Dimensions(frame.width(), frame.height()) +
             " pixels, too large: the import takes up to " + GroupDigits(kMaxPixels) + " pixels";
    }
  }
  return std::nullopt;
}

// A gzip-compressed SVG, unpacked here rather than by Qt's SVG reader,
// which unpacks it whole whatever it comes to; its concatenated members
// are taken one after the other, as that reader takes them.
std::optional<std::string> Unpack(const QByteArray& packed, QByteArray& unpacked) {
  z_stream stream{};
  if (inflateInit2(&stream, 15 + 16) != Z_OK) return "there is not enough memory to unpack it";
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
  stream.avail_in = static_cast<uInt>(packed.size());
  std::optional<std::string> refusal;
  char chunk[64 * 1024];
  for (;;) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    const int status = inflate(&stream, Z_NO_FLUSH);
    const qsizetype made = static_cast<qsizetype>(sizeof chunk - stream.avail_out);
    if (unpacked.size() + made > kMaxSvgBytes) {
      refusal =
          "it unpacks to more than " + GroupDigits(uint64_t(kMaxSvgBytes)) + " bytes of SVG, the most the import takes";
      break;
    }
    unpacked.append(chunk, made);
    if (status == Z_STREAM_END) {
      if (stream.avail_in == 0 || inflateReset(&stream) != Z_OK) break;
      continue;
    }
    if (status != Z_OK) {
      refusal = "its compressed data is damaged or cut short";
      break;
    }
  }
  inflateEnd(&stream);
  return refusal;
}

// The bytes a data URL holds, read both ways Qt's SVG reader has read them
// (after the last "base64,", and as the URL says); the picture must pass
// either way.
std::vector<QByteArray> DataUrlContents(const QString& url) {
  std::vector<QByteArray> contents;
  const qsizetype base64 = url.lastIndexOf(QLatin1String("base64,"));
  if (base64 >= 0) contents.push_back(QByteArray::fromBase64(url.mid(base64 + 7).toLatin1()));
  const qsizetype comma = url.indexOf(QLatin1Char(','));
  if (comma >= 0) {
    const QString header = url.left(comma);
    const QByteArray payload = url.mid(comma + 1).toUtf8();
    contents.push_back(header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)
                           ? QByteArray::fromBase64(QByteArray::fromPercentEncoding(payload))
                           : QByteArray::fromPercentEncoding(payload));
  }
  return contents;
}

// Why a picture held in an SVG is not drawn: an SVG itself (which could
// hold more), one no reader takes (Qt's SVG reader would then look for a
// file of that name), or, with the ones before it, too many pixels.
std::optional<std::string> HeldPictureRefusal(const QByteArray& bytes, uint64_t& pixels) {
  const QByteArray format = Gzip(bytes) ? QByteArray("svgz") : FormatOf(bytes);
  if (format.startsWith("svg")) return "it holds another SVG inside itself, which the import does not draw";
  if (format.isEmpty()) return "it holds a picture in a form no reader here takes";
  if (std::optional<std::string> why = GifRefusal(bytes)) return "a picture inside it is refused: " + *why;
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  const QSize size = QImageReader(&buffer, format).size();
  if (!size.isValid()) return "it holds a picture whose size its reader cannot tell";
  pixels += uint64_t(size.width()) * uint64_t(size.height());
  if (pixels > kMaxHeldPixels) {
    return "the pictures inside it come to more than " + GroupDigits(kMaxHeldPixels) +
           " pixels, the most the import takes";
  }
  return std::nullopt;
}

// Why an SVG is not drawn: it would load something from outside itself (a
// picture by name, a style sheet), or what it holds is over the limits.
// Read with the parser Qt's SVG reader uses, so that entities and name
// spaces come out as that reader sees them.
std::optional<std::string> SvgRefusal(const QByteArray& svg) {
  if (std::optional<std::string> why = SvgTextTooLarge(static_cast<uint64_t>(svg.size()))) return why;
  QXmlStreamReader xml(svg);
  uint64_t held_pixels = 0;
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::ProcessingInstruction &&
        xml.processingInstructionTarget() == QLatin1String("xml-stylesheet")) {
      return "it names a style sheet outside itself, and the import loads nothing but the picture";
    }
    if (token != QXmlStreamReader::StartElement || xml.name() != QLatin1String("image")) continue;
    for (const QXmlStreamAttribute& attribute : xml.attributes()) {
      if (attribute.name() != QLatin1String("href")) continue;
      const QString target = attribute.value().trimmed().toString();
      if (!target.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
        return "it names a picture outside itself (" + PrintableName(target.left(200).toStdString()) +
               "), and the import loads nothing but the picture";
      }
      for (const QByteArray& held : DataUrlContents(target)) {
        if (std::optional<std::string> why = HeldPictureRefusal(held, held_pixels)) return why;
      }
    }
  }
  return std::nullopt;
}

// A bitmap's pixel data, as its header describes it.
struct BitmapLayout {
  uint32_t offset = 0;
  int64_t width = 0, height = 0;
  uint32_t bits = 0, compression = 0;
};

std::optional<BitmapLayout> ReadBitmapLayout(const QByteArray& file) {
  const auto* b = reinterpret_cast<const uint8_t*>(file.constData());
  const auto size = static_cast<uint64_t>(file.size());
  if (size < 26 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
  BitmapLayout layout;
  layout.offset = GetLE32(b + 10);
  const uint32_t info_size = GetLE32(b + 14);
  if (info_size == 12) {
    layout.width = GetLE16(b + 18);
    layout.height = GetLE16(b + 20);
    layout.bits = GetLE16(b + 24);
  } else if (info_size >= 40 && size >= 54) {
    layout.width = static_cast<int32_t>(GetLE32(b + 18));
    layout.height = static_cast<int32_t>(GetLE32(b + 22));
    layout.bits = GetLE16(b + 28);
    layout.compression = GetLE32(b + 30);
  } else {
    return std::nullopt;
  }
  if (layout.width <= 0 || layout.height == 0 || layout.bits == 0 || layout.bits > 32) return std::nullopt;
  return layout;
}

// Qt's bitmap reader takes a file that ends before its last pixel rows
// without a word and leaves the rows it did not get empty. The uncompressed
// kinds (0 plain, 3 and 6 with colour masks), whose length the header
// fixes, are measured here: the bytes of pixel rows the file holds, of those
// it needs; nothing when it holds them all.
bool Uncompressed(const BitmapLayout& layout) {
  return layout.compression == 0 || layout.compression == 3 || layout.compression == 6;
}

std::optional<std::pair<uint64_t, uint64_t>> MissingBitmapRows(uint64_t size, const BitmapLayout& layout) {
  if (!Uncompressed(layout)) return std::nullopt;
  const uint64_t stride = (static_cast<uint64_t>(layout.width) * layout.bits + 31) / 32 * 4;
  const uint64_t needed = stride * static_cast<uint64_t>(std::llabs(layout.height));
  const uint64_t present = size > layout.offset ? size - layout.offset : 0;
  if (present >= needed) return std::nullopt;
  return std::pair{present, needed};
}

// The run-length kinds (1 for 8 bits, 2 for 4) end with an end-of-bitmap
// mark (00 01): the rows the file holds when it ends before the mark,
// counted by their end-of-line marks and the rows moves skip; nothing when
// the mark is there.
std::optional<uint64_t> RunLengthRowsBeforeEnd(const QByteArray& file, const BitmapLayout& layout) {
  const bool rle8 = layout.compression == 1 && layout.bits == 8;
  const bool rle4 = layout.compression == 2 && layout.bits == 4;
  if (!rle8 && !rle4) return std::nullopt;
  const auto* b = reinterpret_cast<const uint8_t*>(file.constData());
  const auto size = static_cast<uint64_t>(file.size());
  uint64_t rows = 0;
  for (uint64_t at = layout.offset; at + 2 <= size;) {
    const uint8_t count = b[at], value = b[at + 1];
    at += 2;
    if (count > 0) continue;  // a run
    if (value == 0) {
      ++rows;
    } else if (value == 1) {
      return std::nullopt;
    } else if (value == 2) {  // a move right and down
      if (at + 2 > size) break;
      rows += b[at + 1];
      at += 2;
    } else {  // that many pixels as they are, padded to two bytes
      const uint64_t bytes = rle8 ? value : (value + 1u) / 2;
      at += (bytes + 1) & ~uint64_t{1};
    }
  }
  return std::min<uint64_t>(rows, static_cast<uint64_t>(std::llabs(layout.height)));
}

void FindBitmapDamage(const QByteArray& file, uint64_t size, Damage& damage) {
  const std::optional<BitmapLayout> layout = ReadBitmapLayout(file);
  if (!layout) return;
  if (const auto rows = MissingBitmapRows(size, *layout)) {
    if (rows->first == 0) {
      damage.refusal = "the file ends before its first row of pixels";
      return;
    }
    damage.warnings.push_back("the file ends early: it holds " + GroupDigits(rows->first) + " of the " +
                              GroupDigits(rows->second) +
                              " bytes of its pixel rows, so part of the picture is missing");
  }
  if (const std::optional<uint64_t> rows = RunLengthRowsBeforeEnd(file, *layout)) {
    if (*rows == 0) {
      damage.refusal = "the file ends before its first row of pixels";
      return;
    }
    damage.warnings.push_back("the file ends early: its run-length-coded pixels stop after " + GroupDigits(*rows) +
                              " of its " + GroupDigits(static_cast<uint64_t>(std::llabs(layout->height))) +
                              " rows, so part of the picture is missing");
  }
}

void FindGifDamage(const QByteArray& file, Damage& damage) {
  const std::optional<GifLayout> layout = WalkGif(file);
  if (!layout || !layout->cut_short) return;
  if (layout->cut_in_first) {
    damage.warnings.push_back("the file ends early, inside the data of its picture, so part of the picture is missing");
  } else {
    damage.warnings.push_back("the file ends early, after its first picture, which is shown; what followed is lost");
  }
}

}  // namespace

std::optional<std::string> TooLarge(const QSize& size) {
  if (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide) {
    return "at " + Dimensions(size.width(), size.height()) +
           " pixels it is too large: the import takes no side longer than " + GroupDigits(kMaxPictureSide) + " pixels";
  }
  const uint64_t pixels = uint64_t(std::max(0, size.width())) * uint64_t(std::max(0, size.height()));
  if (pixels > kMaxPixels) {
    return "at " + Dimensions(size.width(), size.height()) + " pixels it is too large: the import takes up to " +
           GroupDigits(kMaxPixels) + " pixels";
  }
  return std::nullopt;
}

CheckedPicture CheckBeforeDecoding(const QByteArray& file) {
  CheckedPicture checked;
  if (Gzip(file)) {
    if ((checked.refusal = Unpack(file, checked.bytes))) return checked;
    if (FormatOf(checked.bytes) != "svg") {
      checked.refusal = "it is compressed with gzip but holds no SVG";
      return checked;
    }
    checked.svg = true;
  } else {
    checked.bytes = file;
    checked.svg = FormatOf(file).startsWith("svg");
  }
  checked.refusal = checked.svg ? SvgRefusal(checked.bytes) : GifRefusal(checked.bytes);
  if (checked.svg && !checked.refusal) {
    checked.refusal =
        SvgDrawingRefusal(std::string_view(checked.bytes.constData(), static_cast<size_t>(checked.bytes.size())));
  }
  return checked;
}

bool NeedsWholeFile(const QByteArray& head) {
  if (Gzip(head)) return true;
  const QByteArray format = FormatOf(head);
  if (format == "bmp") {
    const std::optional<BitmapLayout> layout = ReadBitmapLayout(head);
    return !layout || !Uncompressed(*layout);
  }
  return format.startsWith("svg") || format == "gif" || format == "webp";
}

Damage FindDamage(const QByteArray& file, uint64_t file_size) {
  Damage damage;
  FindBitmapDamage(file, file_size, damage);
  if (!damage.refusal) FindGifDamage(file, damage);
  return damage;
}

}  // namespace kws
