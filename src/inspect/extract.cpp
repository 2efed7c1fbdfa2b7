#include "inspect/extract.h"

#include <exception>

#include "fileio/file.h"
#include "fit/bitmap_file.h"
#include "log/activity_log.h"

namespace kws {

void ExtractPicture(const std::string& image, const Picture8& picture, const std::string& out) {
  try {
    WriteBitmap8(out, picture, MadeFor::kExtract);
  } catch (const std::exception& e) {
    LogFailure("ERROR: ExtractPicture(" + PrintableName(image) + "), Msg=", e);
    throw;
  }
  WriteLog("ExtractPicture: In=" + PrintableName(image) + ", Out=" + PrintableName(out));
}

}  // namespace kws
