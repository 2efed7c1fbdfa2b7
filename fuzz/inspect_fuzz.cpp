// libFuzzer target for the inspector: any bytes at all, read as an update
// image. It must never crash, and a picture comes back exactly when the
// image is sound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "inspect/inspect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const kws::InspectReport report = kws::InspectImage({data, size});
  if (report.Sound() != report.picture.has_value()) std::abort();
  if (report.picture && report.picture->pixels.size() != kws::kPictureBytes) std::abort();
  return 0;
}
