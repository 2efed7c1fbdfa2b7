// The window's pictures, drawn by the program itself: the built-in preview,
// the one-click button's glyph (normal and disabled) and the program icon.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include "format/bitmap.h"

namespace kws {

QImage PictureImage(const Picture8& picture);  // 8-bit, its own palette
QImage SamplePreviewImage();                   // 720 x 576, 8-bit
QPixmap GoGlyph(bool enabled);                 // 140 x 140
QIcon GoIcon();                                // both glyph states
QPixmap ProgramIconPixmap(int size = 48);

}  // namespace kws
