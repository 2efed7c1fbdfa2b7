#include "picture/tv_preview.h"

#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

namespace kws {

namespace {

// The part of the frame the TV still shows, in the frame's own units.
QRectF ShownPart(const QSizeF& frame, double overscan_percent) {
  const double share = std::clamp(overscan_percent, 0.0, kMaxOverscanPercent) / 100.0;
  const double dx = frame.width() * share / 2, dy = frame.height() * share / 2;
  return QRectF(dx, dy, frame.width() - 2 * dx, frame.height() - 2 * dy);
}

}  // namespace

QImage Picture8Image(const Picture8& picture) {
  QImage image(picture.width, picture.height, QImage::Format_RGB32);
  for (int y = 0; y < picture.height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    const uint8_t* indices = picture.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(picture.width);
    for (int x = 0; x < picture.width; ++x) {
      const Rgb c = indices[x] < picture.palette.size() ? picture.palette[indices[x]] : Rgb{};
      row[x] = qRgb(c.r, c.g, c.b);
    }
  }
  return image;
}

QRect GuideRect(SafeArea area, const TvPreviewOptions& options) {
  const QSize size = ToQSize(SquareFrameSize(options.display));
  const QRectF shown = ShownPart(QSizeF(size), options.overscan_percent);
  // The safe area's edges in the frame, moved and stretched as the shown
  // part is, rounded to the pixels they fall between.
  const double share = SafeShare(area);
  const double sx = size.width() / shown.width(), sy = size.height() / shown.height();
  const auto x = [&](double v) { return static_cast<int>(std::lround((size.width() * v - shown.left()) * sx)); };
  const auto y = [&](double v) { return static_cast<int>(std::lround((size.height() * v - shown.top()) * sy)); };
  const double lo = (1 - share) / 2, hi = (1 + share) / 2;
  return QRect(QPoint(x(lo), y(lo)), QPoint(x(hi) - 1, y(hi) - 1));
}

QImage RenderTvPreview(const Picture8& picture, const TvPreviewOptions& options) {
  return RenderTvPreview(Picture8Image(picture), options);
}

QImage RenderTvPreview(const QImage& frame, const TvPreviewOptions& options) {
  const QSize size = ToQSize(SquareFrameSize(options.display));
  QImage preview;
  if (options.display == Display::kSquare && options.overscan_percent <= 0) {
    preview = frame;
  } else {
    const QRectF shown = ShownPart(QSizeF(frame.size()), options.overscan_percent);
    preview = QImage(size, QImage::Format_RGB32);
    preview.fill(Qt::black);
    QPainter painter(&preview);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(QPointF(0, 0), QSizeF(size)), frame, shown);
  }
  if (options.guides) {
    QPainter painter(&preview);
    const std::pair<SafeArea, QColor> guides[] = {{SafeArea::kAction, kActionGuideColor},
                                                  {SafeArea::kTitle, kTitleGuideColor}};
    for (const auto& [area, color] : guides) {
      QPen pen(color);
      pen.setWidth(1);
      painter.setPen(pen);
      painter.setBrush(Qt::NoBrush);
      const QRect r = GuideRect(area, options);
      painter.drawRect(r.adjusted(0, 0, -1, -1));
    }
  }
  return preview;
}

}  // namespace kws
