#include "picture/canvas.h"

#include <QColor>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

#include "picture/import_picture.h"

namespace kws {

namespace {

const QSize kCanvasSize(kPictureWidth, kPictureHeight);

}  // namespace

QImage ReadPicture(const std::string& path) {
  QImageReader reader(QString::fromStdString(path));
  // The content decides, so that a PNG named .bmp still reads.
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);
  QImage image;
  if (!reader.read(&image)) {
    throw ImportError("Cannot read " + path + " as a picture: " + reader.errorString().toStdString());
  }
  return image;
}

QSize PlacedSize(const QSize& source, bool fill) {
  if (source == kCanvasSize) return source;
  const double fx = double{kPictureWidth} / source.width();
  const double fy = double{kPictureHeight} / source.height();
  const double f = fill ? std::max(fx, fy) : std::min(fx, fy);
  // A line one pixel thin stays one pixel thin rather than vanishing.
  return QSize(std::max(1, static_cast<int>(std::lround(source.width() * f))),
               std::max(1, static_cast<int>(std::lround(source.height() * f))));
}

QImage PlaceOnCanvas(const QImage& picture, const Rgb& background, bool fill) {
  // Premultiplied alpha: smooth scaling then weighs transparent pixels right.
  QImage placed = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QSize size = PlacedSize(placed.size(), fill);
  if (size != placed.size()) placed = placed.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

  QImage canvas(kCanvasSize, QImage::Format_RGB32);
  canvas.fill(QColor(background.r, background.g, background.b));
  {
    QPainter painter(&canvas);
    // Centred: a filling picture loses as much on either side.
    painter.drawImage(QPoint((kCanvasSize.width() - size.width()) / 2, (kCanvasSize.height() - size.height()) / 2),
                      placed);
  }
  return canvas.convertToFormat(QImage::Format_RGBA8888);
}

std::optional<Picture8> ExactColors(const QImage& canvas) {
  const QImage rgba = canvas.convertToFormat(QImage::Format_RGBA8888);
  Picture8 picture;
  picture.width = rgba.width();
  picture.height = rgba.height();
  picture.pixels.reserve(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height));
  std::unordered_map<uint32_t, uint8_t> index;
  for (int y = 0; y < picture.height; ++y) {
    const uchar* row = rgba.constScanLine(y);
    for (int x = 0; x < picture.width; ++x) {
      const uchar* p = row + 4 * x;
      const uint32_t key = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
      auto [at, added] = index.try_emplace(key, static_cast<uint8_t>(picture.palette.size()));
      if (added) {
        if (picture.palette.size() == kMaxPaletteColors) return std::nullopt;
        picture.palette.push_back({p[0], p[1], p[2]});
      }
      picture.pixels.push_back(at->second);
    }
  }
  return picture;
}

double Psnr(const QImage& canvas, const Picture8& picture) {
  const QImage rgba = canvas.convertToFormat(QImage::Format_RGBA8888);
  uint64_t squared = 0;
  for (int y = 0; y < picture.height; ++y) {
    const uchar* row = rgba.constScanLine(y);
    const uint8_t* indices = picture.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(picture.width);
    for (int x = 0; x < picture.width; ++x) {
      const Rgb c = indices[x] < picture.palette.size() ? picture.palette[indices[x]] : Rgb{};
      const uchar* p = row + 4 * x;
      const int dr = p[0] - c.r, dg = p[1] - c.g, db = p[2] - c.b;
      squared += static_cast<uint64_t>(dr * dr + dg * dg + db * db);
    }
  }
  if (squared == 0) return std::numeric_limits<double>::infinity();
  const double mse = static_cast<double>(squared) / (3.0 * picture.width * picture.height);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace kws
