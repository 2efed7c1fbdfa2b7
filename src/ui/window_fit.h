// How the main window fits its screen: the preview's scale, so that the
// window with its frame, menu and open log panel is no larger than the
// screen's free area, and the place that keeps the whole frame (its title bar
// first) on that area.
#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <functional>

#include "format/bitmap.h"

class QWidget;

namespace kws {

// The preview at scale 1: the picture's own size.
inline constexpr int kPreviewWidth = kPictureWidth;
inline constexpr int kPreviewHeight = kPictureHeight;
// Beside the preview, the buttons' column; below it, the status bar: both
// keep their sizes at every scale.
inline constexpr int kBesidePreview = 172;
inline constexpr int kBelowPreview = 33;
// The fixed layout's client area: the preview, the button beside it and the
// status bar below.
inline constexpr int kLayoutClientWidth = kPreviewWidth + kBesidePreview;   // 892
inline constexpr int kLayoutClientHeight = kPreviewHeight + kBelowPreview;  // 609

// The room around the fixed layout: the frame the window manager draws, the
// menu bar and the log panel (0 when closed).
struct WindowRoom {
  QSize frame;
  int menu = 0;
  int panel = 0;
};

// The preview's scale (1: the fixed layout; never below 0.3) at which the
// window fits into available.
double PreviewScale(const QRect& available, const WindowRoom& room);

// frame moved as little as it takes to lie inside available; a frame taller
// or wider than available keeps its top left corner (the title bar, the
// window menu) on it, so the window can always be moved.
QRect KeepOnScreen(const QRect& frame, const QRect& available);

// Calls fit once, when the window manager has first told the window its
// frame (its title bar's height): until then the window was placed by a
// guess, which on a scaled screen may leave the title bar above the screen.
// Later moves are the user's and are left alone.
class FrameKnownWatch : public QObject {
 public:
  FrameKnownWatch(QWidget* window, std::function<void()> fit);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  std::function<void()> fit_;
  bool done_ = false;
};

}  // namespace kws
