// The import's order, once for every front door: a bitmap the receivers take
// is kept as it is; anything else is placed on the receivers' canvas, its
// colours are reduced to fit, and what will show badly on a TV is said.
// Reading and placing the picture is the caller's (Qt's readers on the
// desktop, the browser's in the page); everything after it is here.
#pragma once

#include <functional>
#include <string>

#include "fit/import_options.h"
#include "fit/import_report.h"
#include "fit/rgba_picture.h"
#include "format/bitmap.h"

namespace kws {

struct ImportedPicture {
  Picture8 picture;
  ImportReport report;
};

// A picture placed on the receivers' canvas, caption drawn, before its
// colours are reduced; the report holds its size, placement and warnings.
struct ImportCanvas {
  RgbaPicture canvas;
  ImportReport report;
};

// A picture as its reader hands it to the import: its file, so that a bitmap
// the receivers take is kept byte for byte, and the placing of its decoded
// pixels as the options ask. place throws ImportError for a picture it
// cannot read.
struct PictureToImport {
  std::string path;  // the picture file
  std::string name;  // the picture as messages name it
  std::function<ImportCanvas(const ImportOptions& options)> place;
};

// The pipeline's bitmap made of the picture. Throws ImportError when it
// cannot be read or cannot be made to fit.
ImportedPicture ImportDecoded(const PictureToImport& picture, const ImportOptions& options);

}  // namespace kws
