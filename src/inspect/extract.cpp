#include "inspect/extract.h"

#include <exception>

#include "fileio/file.h"
#include "fit/bitmap_file.h"
#include "log/activity_log.h"

namespace kws {

WrittenTo ExtractPicture(const std::string& image, const Picture8& picture, const std::string& out,
                         const DestinationCheck& target) {
  WrittenTo written;
  try {
    written = WriteJudged(out, target, EncodeBitmap8(picture));
  } catch (const std::exception& e) {
    LogFailure("ERROR: ExtractPicture(" + PrintableName(image) + "), Msg=", e);
    throw;
  }
  WriteLog("ExtractPicture: In=" + PrintableName(image) + ", Out=" + PrintableName(written.name));
  return written;
}

}  // namespace kws
