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

#include "fileio/destination.h"
#include "fit/colour_choice.h"
#include "fit/import_decoded.h"
#include "fit/import_error.h"
#include "fit/import_options.h"
#include "fit/import_report.h"
#include "format/bitmap.h"
#include "format/welcome_image.h"
#include "picture/tv_caption.h"
#include "picture/tv_display.h"

namespace kws {

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

// ImportPicture with the bitmap written to out as target judged it (where it
// went in *written: out, or a free name beside it when out changed
// meanwhile), and its line in the activity log: "ImportPicture:
// In=<picture>, Out=<bitmap written>, <summary>", or "ERROR:
// ImportPicture(<picture>), Msg=<reason>" before the error is passed on. The
// window and the command line both import through here.
ImportReport ImportPictureLogged(const std::string& path, const std::string& out, const ImportOptions& options,
                                 const DestinationCheck& target, WrittenTo* written);

// The same for a picture imported already (as a preview showed it): written
// to out as it is, with the same line in the log.
ImportReport WriteImportLogged(const std::string& path, const std::string& out, const ImportedPicture& imported,
                               const DestinationCheck& target, WrittenTo* written);

// "#rrggbb" or a colour name Qt knows; nothing for anything else.
std::optional<Rgb> ParseColor(const std::string& text);

}  // namespace kws
