#include "ui/window_fit.h"

#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <utility>

namespace kws {

double PreviewScale(const QRect& available, const WindowRoom& room) {
  const int spare_height = available.height() - room.frame.height() - room.menu - room.panel - kLayoutClientHeight;
  const int spare_width = available.width() - room.frame.width() - kLayoutClientWidth;
  double scale = 1.0;
  if (spare_height < 0) scale = std::min(scale, static_cast<double>(kPreviewHeight + spare_height) / kPreviewHeight);
  if (spare_width < 0) scale = std::min(scale, static_cast<double>(kPreviewWidth + spare_width) / kPreviewWidth);
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

FrameKnownWatch::FrameKnownWatch(QWidget* window, std::function<void()> fit)
    : QObject(window), window_(window), fit_(std::move(fit)) {
  window_->installEventFilter(this);
}

bool FrameKnownWatch::eventFilter(QObject* watched, QEvent* event) {
  // Any of these may be the first after the window manager framed the window.
  const QEvent::Type type = event->type();
  const bool placed = type == QEvent::Move || type == QEvent::Resize || type == QEvent::Paint ||
                      type == QEvent::WindowActivate || type == QEvent::Show;
  if (done_ || watched != window_ || !placed || !window_->isVisible()) return false;
  if (window_->frameGeometry().size() == window_->geometry().size()) return false;
  done_ = true;
  fit_();
  return false;
}

}  // namespace kws
