#include "ui/window_fit.h"

#include <algorithm>

namespace kws {

namespace {

// The fixed layout: the client area, and the preview inside it.
constexpr int kClientWidth = 892;
constexpr int kClientHeight = 609;
constexpr double kPreviewWidth = 720;
constexpr double kPreviewHeight = 576;

}  // namespace

double PreviewScale(const QRect& available, const WindowRoom& room) {
  const int spare_height = available.height() - room.frame.height() - room.menu - room.panel - kClientHeight;
  const int spare_width = available.width() - room.frame.width() - kClientWidth;
  double scale = 1.0;
  if (spare_height < 0) scale = std::min(scale, (kPreviewHeight + spare_height) / kPreviewHeight);
  if (spare_width < 0) scale = std::min(scale, (kPreviewWidth + spare_width) / kPreviewWidth);
  // Never so small that the button would leave the panel's side.
  return std::max(scale, 0.3);
}

QRect KeepOnScreen(const QRect& frame, const QRect& available) {
  QRect placed = frame;
  if (placed.bottom() > available.bottom()) placed.moveBottom(available.bottom());
  if (placed.right() > available.right()) placed.moveRight(available.right());
  // Last, so that they win: the title bar and the window's left edge.
  if (placed.top() < available.top()) placed.moveTop(available.top());
  if (placed.left() < available.left()) placed.moveLeft(available.left());
  return placed;
}

}  // namespace kws
