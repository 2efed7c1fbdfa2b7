#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kws::fuzz::SvgCost(data, size);
  return 0;
}
