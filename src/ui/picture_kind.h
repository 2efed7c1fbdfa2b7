// What the window makes of a file it is given to open (File > Open, "Open
// with", a drop): the bitmap the pipeline takes opens as it is; a picture the
// import reads (a JPEG, a PNG, a bitmap of another size or kind) is offered
// to the import's dialog; anything else is neither.
#pragma once

#include <QString>
#include <string>

namespace kws {

enum class PictureKind { kPipelineBitmap, kImportable, kNoPicture };

PictureKind KindOfPicture(const std::string& name);

// The filter of the dialogs that pick a picture to import: every format Qt's
// image readers take, then anything at all (the reader goes by the content).
QString ImportFilter();

// File > Open's filter: the pipeline's bitmap first (the default), then
// every picture the import reads.
QString OpenFilter();

}  // namespace kws
