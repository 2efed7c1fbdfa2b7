#include "ui/artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "sample/sample_picture.h"

namespace kws {

QImage PictureImage(const Picture8& p) {
  QImage image(p.width, p.height, QImage::Format_Indexed8);
  QList<QRgb> colors;
  for (const Rgb& c : p.palette) colors.push_back(qRgb(c.r, c.g, c.b));
  image.setColorTable(colors);
  for (int y = 0; y < p.height; ++y) {
    std::copy_n(p.pixels.data() + static_cast<size_t>(y) * p.width, p.width, image.scanLine(y));
  }
  return image;
}

QImage SamplePreviewImage() { return PictureImage(MakeSamplePicture()); }

// A round button face with a "play" arrow: press to make the images.
QPixmap GoGlyph(bool enabled) {
  constexpr int kSize = 140;
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor light = enabled ? QColor(255, 196, 90) : QColor(200, 200, 200);
  const QColor dark = enabled ? QColor(200, 80, 16) : QColor(130, 130, 130);
  QRadialGradient face(QPointF(52, 46), 100);
  face.setColorAt(0, light);
  face.setColorAt(1, dark);
  painter.setPen(QPen(enabled ? QColor(110, 40, 6) : QColor(100, 100, 100), 4));
  painter.setBrush(face);
  painter.drawEllipse(QRectF(6, 6, kSize - 12, kSize - 12));
  QPainterPath arrow;
  arrow.moveTo(56, 40);
  arrow.lineTo(104, 70);
  arrow.lineTo(56, 100);
  arrow.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(enabled ? QColor(255, 255, 255) : QColor(235, 235, 235));
  painter.drawPath(arrow);
  return pixmap;
}

QIcon GoIcon() {
  QIcon icon;
  icon.addPixmap(GoGlyph(true), QIcon::Normal);
  icon.addPixmap(GoGlyph(false), QIcon::Disabled);
  return icon;
}

// The planet with its ring, as on the sample welcome screen.
QPixmap ProgramIconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 48.0, size / 48.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(10, 24, 60));
  painter.drawRoundedRect(QRectF(1, 1, 46, 46), 9, 9);
  QRadialGradient planet(QPointF(19, 18), 18);
  planet.setColorAt(0, QColor(140, 230, 235));
  planet.setColorAt(1, QColor(10, 60, 90));
  painter.setBrush(planet);
  painter.drawEllipse(QPointF(24, 24), 13, 13);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(255, 170, 60), 3));
  painter.drawArc(QRectF(3, 17, 42, 14), 180 * 16, 180 * 16);  // the front half of the ring
  return pixmap;
}

}  // namespace kws
