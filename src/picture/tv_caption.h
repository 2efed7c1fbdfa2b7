// One line of text on the picture (a version, an owner's name), drawn before
// its colours are reduced: inside the title-safe area, in DejaVu Sans Bold,
// strokes three or more pixels thick so that it does not flicker on an
// interlaced TV.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "fit/import_options.h"
#include "format/bitmap.h"

namespace kws {

// "top", "bottom"; nothing for anything else.
std::optional<CaptionPosition> ParseCaptionPosition(const std::string& text);

// The caption as it is set: its letter height, its one or two lines, and the
// box they take with their shadow, inside the title-safe area at its top or
// bottom.
struct CaptionLayout {
  int pixel_size = 0;
  std::vector<QString> lines;
  QRect box;
};

// Sets the caption for a canvas of this size. Throws ImportError when it
// does not fit the title-safe width even in two lines of the smallest
// letters; a caption is never cut short.
CaptionLayout LayOutCaption(const Caption& caption, const QSize& canvas);

// The part of the canvas left to the picture beside a caption on its own
// band: the frame less the band and a gap, at the caption's side.
QRect RoomBesideBand(const CaptionLayout& layout, const Caption& caption, const QSize& canvas);

// Draws the caption on a 720 x 576 canvas, with a dark shadow below right
// so that it reads on any picture; all of it within the title-safe area.
// Returns a warning when some of its characters are in no font here and are
// drawn as boxes. Throws ImportError when no font can be found or the
// caption does not fit (see LayOutCaption).
std::optional<std::string> DrawCaption(QImage& canvas, const Caption& caption);

}  // namespace kws
