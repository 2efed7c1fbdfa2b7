#include "png_decode.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace kws::web {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

// libpng's read and info structures, released together.
class PngReader {
 public:
  PngReader() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &Fail, &Ignore);
    if (png_) info_ = png_create_info_struct(png_);
    if (!png_ || !info_) throw std::runtime_error("libpng has no memory");
  }
  ~PngReader() { png_destroy_read_struct(&png_, &info_, nullptr); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  // libpng's errors leave its reader by this exception instead of longjmp,
  // so that every handle on the way is released.
  [[noreturn]] static void Fail(png_structp, png_const_charp message) { throw std::runtime_error(message); }
  static void Ignore(png_structp, png_const_charp) {}

  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

bool IsPng(std::FILE* file) {
  png_byte signature[8];
  if (std::fread(signature, 1, sizeof signature, file) != sizeof signature) return false;
  return png_sig_cmp(signature, 0, sizeof signature) == 0;
}

// Every kind of PNG as 8-bit RGBA. scale_16 rounds (v * 255 / 65535 to the
// nearest), which is Qt's reduction of 16-bit samples; no gamma is applied,
// as neither the desktop's import nor the browser's applies one.
void AskForRgba8(png_structp png, png_infop info) {
  png_set_scale_16(png);
  png_set_expand(png);
  png_set_gray_to_rgb(png);
  if (!(png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
}

}  // namespace

std::optional<RgbaPicture> ReadPng(const std::string& path, uint64_t max_pixels) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file || !IsPng(file.get())) return std::nullopt;
  try {
    PngReader reader;
    png_init_io(reader.png(), file.get());
    png_set_sig_bytes(reader.png(), 8);
    png_read_info(reader.png(), reader.info());
    const uint32_t width = png_get_image_width(reader.png(), reader.info());
    const uint32_t height = png_get_image_height(reader.png(), reader.info());
    if (uint64_t{width} * height > max_pixels) return std::nullopt;
    AskForRgba8(reader.png(), reader.info());
    if (png_get_rowbytes(reader.png(), reader.info()) != size_t{width} * 4) return std::nullopt;
    RgbaPicture picture(static_cast<int>(width), static_cast<int>(height));
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = picture.Row(static_cast<int>(y));
    png_read_image(reader.png(), rows.data());
    return picture;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace kws::web
