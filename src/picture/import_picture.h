// Import: any picture Qt can read becomes the one bitmap the pipeline takes
// (720 x 576, 8 bits, uncompressed), made to fit the smaller partition.
//
// The welcome image holds at most 180,208 bytes of colour table and gzip
// member. A picture over that is searched for the best-looking version that
// fits: less dithering first, then fewer colours; on request versions of
// every kind (see seen_search.h), the dithering the user asks for taken.
// Sizes are measured with the gzip step's own compressor, so what fits here
// fits the pipeline.
#pragma once

#include <QImage>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fit/colour_choice.h"
#include "fit/import_error.h"
#include "fit/import_report.h"
#include "format/bitmap.h"
#include "format/welcome_image.h"
#include "picture/tv_caption.h"
#include "picture/tv_display.h"

namespace kws {

struct ImportOptions {
  Rgb background{0, 0, 0};  // around a picture scaled to fit
  bool fill = false;        // scale to cover 720 x 576 and crop instead
  bool fit = true;          // search for a version within the budget
  size_t budget = welcome::kMaxDataLength;
  // The TV the picture is made for: it is scaled so that it keeps its
  // proportions there. Square is the receiver's pixels as they are; the
  // command line and the window ask for 4:3 unless told otherwise.
  Display display = Display::kSquare;
  SafeArea safe = SafeArea::kNone;  // the part of the frame the picture is fitted into
  // Speak as for a TV: name the display in the report, and warn of what
  // shows badly on a TV (see tv_checks.h).
  bool for_tv = false;
  // A line of text drawn on the picture before its colours are reduced, so
  // that the budget holds it too.
  std::optional<Caption> caption{};
  // When something has to be given up to fit: weigh versions of every kind
  // (palettes chosen for their bytes as well, undithered and dithered) and
  // take the one closest to the picture as seen (see seen_search.h). The
  // command line, the window and the page ask for it; without it, less
  // dithering first, then fewer colours.
  bool by_seen = false;
  // The dithering the version taken may have (see dither_choice.h); without
  // fitting, of the full palette's versions.
  DitherKind dither = DitherKind::kAuto;
};

// The options of an import for a TV, as the command line and the window both
// start from: made for that display and safe area, the report naming the
// display and giving the TV warnings, the choice by PSNR as seen on.
ImportOptions TvImportOptions(Display display, SafeArea safe);

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

// Reads the picture at path and places it as ImportPicture does: what the
// colours are chosen for and measured against. Throws ImportError.
ImportCanvas PlaceForImport(const std::string& path, const ImportOptions& options);

// Reads the picture at path and turns it into the pipeline's bitmap. Throws
// ImportError when it cannot be read or cannot be made to fit; only a regular
// file is read.
ImportedPicture ImportPicture(const std::string& path, const ImportOptions& options = {});

// The picture as the import places it on the 720 x 576 canvas, its caption
// drawn, before its colours are reduced: a quick look at what ImportPicture
// will make. Throws ImportError as ImportPicture does.
QImage PlacedPicture(const std::string& path, const ImportOptions& options);

// ImportPicture, then the bitmap written to out, which is replaced whole or
// not at all. Throws ImportError for the picture and FileError for out.
ImportReport ImportPictureFile(const std::string& path, const std::string& out, const ImportOptions& options = {});

// ImportPictureFile with its line in the activity log: "ImportPicture:
// In=<picture>, Out=<bitmap>, <summary>", or "ERROR: ImportPicture(<picture>),
// Msg=<reason>" before the error is passed on. The window and the command
// line both import through here.
ImportReport ImportPictureLogged(const std::string& path, const std::string& out, const ImportOptions& options = {});

// The same for a picture imported already (as a preview showed it): written
// to out as it is, with the same line in the log.
ImportReport WriteImportLogged(const std::string& path, const std::string& out, const ImportedPicture& imported);

// "#rrggbb" or a colour name Qt knows; nothing for anything else.
std::optional<Rgb> ParseColor(const std::string& text);

}  // namespace kws
