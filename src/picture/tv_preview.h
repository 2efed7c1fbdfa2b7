// The receiver's picture as a TV shows it: stretched to the display's shape,
// the overscanned edge cut away, and the safe areas drawn as guides. The
// window's View menu and the command line's preview both render through here.
#pragma once

#include <QColor>
#include <QImage>

#include "format/bitmap.h"
#include "picture/tv_display.h"

namespace kws {

struct TvPreviewOptions {
  Display display = Display::k4x3;  // square: the receiver's pixels, unscaled
  bool guides = false;              // draw the action-safe and title-safe rectangles
  // The share of the frame's width and height the TV hides, in percent, half
  // on each side; what is left fills the screen.
  double overscan_percent = 0;
};

inline constexpr double kMaxOverscanPercent = 20;
// The guides' colours: action-safe, title-safe.
inline const QColor kActionGuideColor(255, 200, 0);
inline const QColor kTitleGuideColor(0, 220, 255);

// The 8-bit picture as an RGB32 image of the same size.
QImage Picture8Image(const Picture8& picture);

// The picture as the TV shows it: SquareFrameSize(display) pixels (768 x 576,
// 1024 x 576, or 720 x 576 for square), smoothly scaled. Square without
// overscan is the picture pixel for pixel.
QImage RenderTvPreview(const Picture8& picture, const TvPreviewOptions& options);
// The same for a 720 x 576 frame of any colours (RGB32).
QImage RenderTvPreview(const QImage& frame, const TvPreviewOptions& options);

// Where a safe area's guide lies in that preview.
QRect GuideRect(SafeArea area, const TvPreviewOptions& options);

}  // namespace kws
