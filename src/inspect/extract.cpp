#include "inspect/extract.h"

#include <exception>

#include "log/activity_log.h"
#include "steps/bitmap8.h"

namespace kws {

void ExtractPicture(const std::string& image, const Picture8& picture, const std::string& out) {
  try {
    WriteBitmap8(out, picture, MadeFor::kExtract);
  } catch (const std::exception& e) {
    WriteLog("ERROR: ExtractPicture(" + image + "), Msg=" + e.what());
    throw;
  }
  WriteLog("ExtractPicture: In=" + image + ", Out=" + out);
}

}  // namespace kws
