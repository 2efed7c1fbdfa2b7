#include "inspect/extract.h"

#include <exception>

#include "fileio/file.h"
#include "log/activity_log.h"

namespace kws {

void ExtractPicture(const std::string& image, const Picture8& picture, const std::string& out) {
  try {
    WriteFileReplacing(out, EncodeBitmap8(picture));
  } catch (const std::exception& e) {
    WriteLog("ERROR: ExtractPicture(" + image + "), Msg=" + e.what());
    throw;
  }
  WriteLog("ExtractPicture: In=" + image + ", Out=" + out);
}

}  // namespace kws
