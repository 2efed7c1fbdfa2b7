// A caption on a band of its own: the picture is made smaller and moved
// clear of the band, so that the caption covers none of it.
#pragma once

#include <QImage>
#include <QRect>

#include "fit/import_report.h"
#include "fit/placement.h"
#include "format/bitmap.h"
#include "picture/tv_caption.h"

namespace kws {

// The canvas pixels a placed picture covers: centred in its area and
// cropped to it.
QRect PictureOnCanvas(const Placement& placement);

// How much the picture must shrink to fit room: 1 when it fits as it is.
double ShrinkToRoom(const QRect& picture, const QRect& room);

// The canvas with the picture's pixels (at picture) moved into room, centred
// there and scaled down evenly as far as it must be to fit; background
// everywhere else.
QImage MoveIntoRoom(const QImage& canvas, const QRect& picture, const QRect& room, const Rgb& background);

// The canvas with the picture placed as placement says moved clear of the
// caption's band and within the placement's area; the report's placed size
// and scale follow. Throws ImportError when the caption does not fit.
QImage LeaveRoomForBand(const QImage& canvas, const Placement& placement, const Caption& caption, const Rgb& background,
                        ImportReport& report);

}  // namespace kws
