// libimagequant's handles, each released by its own destroy function.
#pragma once

#include <libimagequant.h>

#include <memory>

namespace kws::liq {

struct AttrDeleter {
  void operator()(liq_attr* p) const noexcept { liq_attr_destroy(p); }
};
struct ImageDeleter {
  void operator()(liq_image* p) const noexcept { liq_image_destroy(p); }
};
struct ResultDeleter {
  void operator()(liq_result* p) const noexcept { liq_result_destroy(p); }
};
struct HistogramDeleter {
  void operator()(liq_histogram* p) const noexcept { liq_histogram_destroy(p); }
};

using Attr = std::unique_ptr<liq_attr, AttrDeleter>;
using Image = std::unique_ptr<liq_image, ImageDeleter>;
using Result = std::unique_ptr<liq_result, ResultDeleter>;
using Histogram = std::unique_ptr<liq_histogram, HistogramDeleter>;

}  // namespace kws::liq
