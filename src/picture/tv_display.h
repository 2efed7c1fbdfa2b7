// The TV's geometry (fit/placement.h) where Qt draws: the same functions on
// Qt's sizes and rectangles, converted at this edge.
#pragma once

#include <QRect>
#include <QSize>

#include "fit/placement.h"

namespace kws {

inline QSize ToQSize(const Size& size) { return QSize(size.width, size.height); }
inline Size FromQSize(const QSize& size) { return Size{size.width(), size.height()}; }
inline QRect ToQRect(const Rect& rect) { return QRect(rect.x, rect.y, rect.width, rect.height); }

inline QRect SafeRect(SafeArea area, const QSize& frame) { return ToQRect(SafeRect(area, FromQSize(frame))); }

inline Placement PlacePicture(const QSize& source, bool fill, Display display, SafeArea safe) {
  return PlacePicture(FromQSize(source), fill, display, safe);
}

}  // namespace kws
