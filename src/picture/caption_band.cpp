#include "picture/caption_band.h"

#include <QColor>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "picture/tv_display.h"

namespace kws {

QRect PictureOnCanvas(const Placement& placement) {
  const Rect& area = placement.area;
  const Size& size = placement.size;
  // As the placing rounds: the picture's origin may lie outside its area
  // when it covers it.
  const QRect placed(area.x + (area.width - size.width) / 2, area.y + (area.height - size.height) / 2, size.width,
                     size.height);
  return placed.intersected(ToQRect(area));
}

double ShrinkToRoom(const QRect& picture, const QRect& room) {
  if (picture.isEmpty() || room.isEmpty()) return 1;
  return std::min({1.0, double(room.width()) / picture.width(), double(room.height()) / picture.height()});
}

QImage MoveIntoRoom(const QImage& canvas, const QRect& picture, const QRect& room, const Rgb& background) {
  QImage moved(canvas.size(), canvas.format());
  moved.fill(QColor(background.r, background.g, background.b));
  if (picture.isEmpty() || room.isEmpty()) return moved;
  const double shrink = ShrinkToRoom(picture, room);
  const QSize size(std::max(1, static_cast<int>(std::lround(picture.width() * shrink))),
                   std::max(1, static_cast<int>(std::lround(picture.height() * shrink))));
  const QPoint origin(room.x() + (room.width() - size.width()) / 2, room.y() + (room.height() - size.height()) / 2);
  QPainter painter(&moved);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRect(origin, size), canvas, picture);
  return moved;
}

QImage LeaveRoomForBand(const QImage& canvas, const Placement& placement, const Caption& caption, const Rgb& background,
                        ImportReport& report) {
  const CaptionLayout layout = LayOutCaption(caption, canvas.size());
  const QRect picture = PictureOnCanvas(placement);
  const QRect room = RoomBesideBand(layout, caption, canvas.size()).intersected(ToQRect(placement.area));
  const double shrink = ShrinkToRoom(picture, room);
  report.placed_width = static_cast<int>(std::lround(report.placed_width * shrink));
  report.placed_height = static_cast<int>(std::lround(report.placed_height * shrink));
  report.scale *= shrink;
  return MoveIntoRoom(canvas, picture, room, background);
}

}  // namespace kws
