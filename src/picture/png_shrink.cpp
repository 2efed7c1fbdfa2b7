#include "picture/png_shrink.h"

#include <png.h>

#include <QBuffer>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <vector>

#include "picture/block_sums.h"

namespace kws {

namespace {

void ReadBytes(png_structp png, png_bytep out, size_t count) {
  auto* device = static_cast<QIODevice*>(png_get_io_ptr(png));
  if (device->read(reinterpret_cast<char*>(out), static_cast<qint64>(count)) != static_cast<qint64>(count)) {
    png_error(png, "cut short");
  }
}

[[noreturn]] void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void Ignore(png_structp, png_const_charp) {}

// libpng's reader and its info, freed however the reading ends.
class PngReader {
 public:
  PngReader() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Ignore);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~PngReader() { png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  bool ok() const { return png_ && info_; }

 private:
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// Reads rows into image; false when libpng gave up. Everything that needs
// freeing is made before setjmp, so a jump back leaves nothing behind.
bool ReadRows(const PngReader& reader, int factor, std::vector<uint8_t>& row, BlockSums& blocks, QImage& image) {
  png_structp png = reader.png();
  if (setjmp(png_jmpbuf(png))) return false;
  const int height = static_cast<int>(png_get_image_height(png, reader.info()));
  const int channels = png_get_channels(png, reader.info());
  for (int y = 0; y < height; ++y) {
    png_read_row(png, row.data(), nullptr);
    blocks.Add(row.data(), channels);
    if ((y + 1) % factor == 0 || y + 1 == height) blocks.Emit(image.scanLine(y / factor));
  }
  png_read_end(png, nullptr);
  return true;
}

// The header read and the transforms to 8-bit RGBA set, or to 8-bit RGB
// for an opaque picture (the blocks take it as it is: no filler to add to
// every pixel); false for what this reading does not take.
bool ReadHeader(const PngReader& reader) {
  png_structp png = reader.png();
  png_infop info = reader.info();
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) return false;
  const int type = png_get_color_type(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_read_update_info(png, info);
  const int channels = png_get_channels(png, info);
  return (channels == 3 || channels == 4) &&
         png_get_rowbytes(png, info) == static_cast<size_t>(png_get_image_width(png, info)) * channels;
}

}  // namespace

std::optional<QImage> ReadPngShrunk(const QByteArray& bytes, int factor) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return ReadPngShrunk(buffer, factor);
}

std::optional<QImage> ReadPngShrunk(QIODevice& device, int factor) {
  if (factor < 2) return std::nullopt;
  PngReader reader;
  if (!reader.ok()) return std::nullopt;
  png_set_read_fn(reader.png(), &device, ReadBytes);
  if (!ReadHeader(reader)) return std::nullopt;
  const int width = static_cast<int>(png_get_image_width(reader.png(), reader.info()));
  const int height = static_cast<int>(png_get_image_height(reader.png(), reader.info()));
  const int blocks_across = (width + factor - 1) / factor, blocks_down = (height + factor - 1) / factor;
  QImage image(blocks_across, blocks_down, QImage::Format_RGBA8888);
  if (image.isNull()) return std::nullopt;
  std::vector<uint8_t> row(png_get_rowbytes(reader.png(), reader.info()));
  BlockSums blocks(width, factor);
  if (!ReadRows(reader, factor, row, blocks, image)) return std::nullopt;
  return image;
}

}  // namespace kws
