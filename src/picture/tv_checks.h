// The TV checks (fit/tv_checks.h) on a canvas Qt holds.
#pragma once

#include <QImage>

#include "fit/tv_checks.h"
#include "picture/canvas.h"

namespace kws {

// The measures of a 720 x 576 canvas in any format Qt converts from.
inline TvMeasures MeasureForTv(const QImage& canvas) { return MeasureForTv(ToRgba(canvas)); }

}  // namespace kws
