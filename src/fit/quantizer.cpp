#include "fit/quantizer.h"

#include <string>

#ifdef _OPENMP
#include <omp.h>
#endif

#include "fit/import_error.h"
#include "fit/palette_order.h"

namespace kws {

namespace {

// libimagequant's speed runs from 1 (best, slowest) to 10. From 8 on it
// drops the lowest bit of each sample while it counts a picture's colours
// (remapping still uses every bit), which makes a grainy photo ten times
// quicker to quantise than at 7, for about 0.2 dB. It then dithers evenly
// instead of mapping where dithering is needed first; the results no longer
// depend on the number of processor threads either.
constexpr int kSpeed = 8;
constexpr int kFullPalette = 256;
// At 5 and below libimagequant maps a picture undithered first and dithers
// only where that left smooth areas banded (its dither map), whatever the
// number of threads; the speed changes nothing else of a mapping to fixed
// colours.
constexpr int kDitherMapSpeed = 5;

void Check(liq_error error, const char* doing) {
  if (error != LIQ_OK) {
    throw ImportError(std::string("Cannot reduce the picture's colours: ") + doing + " failed (libimagequant error " +
                      std::to_string(static_cast<int>(error)) + ")");
  }
}

// libimagequant's loops stay on the calling thread: OpenMP's idle threads
// spin on the processor while they wait, a fifth of the processor time of
// a noisy picture's import, and sums split over a machine's threads round
// differently from one machine to the next (the page has no threads at
// all). The setting is the calling thread's own, so each call makes it.
void KeepToThisThread() {
#ifdef _OPENMP
  omp_set_num_threads(1);
#endif
}

template <class Handle>
Handle Created(typename Handle::pointer p, const char* doing) {
  if (!p) Check(LIQ_OUT_OF_MEMORY, doing);
  return Handle(p);
}

liq::Attr MakeAttr() {
  liq::Attr attr = Created<liq::Attr>(liq_attr_create(), "setting up");
  Check(liq_set_speed(attr.get(), kSpeed), "setting the speed");
  Check(liq_set_max_colors(attr.get(), kFullPalette), "setting the colours");
  return attr;
}

}  // namespace

Quantizer::Quantizer(const RgbaPicture& canvas) : canvas_(canvas), attr_(MakeAttr()) {
  KeepToThisThread();
  UseOrderedSort();
  image_ =
      Created<liq::Image>(liq_image_create_rgba(attr_.get(), canvas_.rgba.data(), canvas_.width, canvas_.height, 0.0),
                          "reading the picture");
  liq_result* result = nullptr;
  Check(liq_image_quantize(image_.get(), attr_.get(), &result), "choosing the palette");
  result_.reset(result);
  full_colors_ = static_cast<int>(liq_get_palette(result)->count);
}

Picture8 Quantizer::Remap(double dithering) {
  KeepToThisThread();
  if (dithering == 0.0 && undithered_) return *undithered_;
  Check(liq_set_dithering_level(result_.get(), static_cast<float>(dithering)), "setting the dithering");
  Picture8 picture = Write(result_.get());
  if (dithering == 0.0) {
    usage_ = Usage(picture);
    undithered_ = picture;
  }
  return picture;
}

Picture8 Quantizer::Reduce(int colors, double dithering) {
  liq::Result result = Reduced(colors);
  Check(liq_set_dithering_level(result.get(), static_cast<float>(dithering)), "setting the dithering");
  return Write(result.get());
}

std::vector<Rgb> Quantizer::Palette(int colors) {
  if (usage_.empty()) Remap(0.0);
  if (colors >= full_colors_) {
    std::vector<Rgb> palette;
    for (const liq_histogram_entry& entry : usage_) palette.push_back({entry.color.r, entry.color.g, entry.color.b});
    return palette;
  }
  return Colors(Reduced(colors).get());
}

Picture8 Quantizer::Map(const std::vector<Rgb>& palette, double dithering, bool selective) {
  KeepToThisThread();
  liq::Attr attr = Created<liq::Attr>(liq_attr_create(), "setting up");
  Check(liq_set_speed(attr.get(), selective ? kDitherMapSpeed : kSpeed), "setting the speed");
  Check(liq_set_max_colors(attr.get(), static_cast<int>(palette.size())), "setting the colours");
  liq::Histogram histogram = Created<liq::Histogram>(liq_histogram_create(attr.get()), "setting up");
  std::vector<liq_histogram_entry> entries;
  for (const Rgb& c : palette) {
    const liq_color color{c.r, c.g, c.b, 255};
    Check(liq_histogram_add_fixed_color(histogram.get(), color, 0.0), "fixing the colours");
    entries.push_back({color, 1});
  }
  Check(liq_histogram_add_colors(histogram.get(), attr.get(), entries.data(), static_cast<int>(entries.size()), 0.0),
        "taking the colours");
  liq_result* mapped = nullptr;
  Check(liq_histogram_quantize(histogram.get(), attr.get(), &mapped), "taking the colours");
  liq::Result result(mapped);
  Check(liq_set_dithering_level(result.get(), static_cast<float>(dithering)), "setting the dithering");
  liq::Image image =
      Created<liq::Image>(liq_image_create_rgba(attr.get(), canvas_.rgba.data(), canvas_.width, canvas_.height, 0.0),
                          "reading the picture");
  return Write(result.get(), image.get());
}

liq::Result Quantizer::Reduced(int colors) {
  KeepToThisThread();
  if (usage_.empty()) Remap(0.0);
  liq::Attr attr = Created<liq::Attr>(liq_attr_copy(attr_.get()), "setting up");
  Check(liq_set_max_colors(attr.get(), colors), "setting the colours");
  liq::Histogram histogram = Created<liq::Histogram>(liq_histogram_create(attr.get()), "setting up");
  Check(liq_histogram_add_colors(histogram.get(), attr.get(), usage_.data(), static_cast<int>(usage_.size()), 0.0),
        "weighing the palette");
  liq_result* reduced = nullptr;
  Check(liq_histogram_quantize(histogram.get(), attr.get(), &reduced), "reducing the palette");
  return liq::Result(reduced);
}

Picture8 Quantizer::Write(liq_result* result) { return Write(result, image_.get()); }

Picture8 Quantizer::Write(liq_result* result, liq_image* image) {
  Picture8 picture;
  picture.width = canvas_.width;
  picture.height = canvas_.height;
  picture.pixels.resize(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height));
  Check(liq_write_remapped_image(result, image, picture.pixels.data(), picture.pixels.size()), "mapping the picture");
  // Read after remapping: the remapping may still refine the palette.
  picture.palette = Colors(result);
  return picture;
}

std::vector<Rgb> Quantizer::Colors(liq_result* result) {
  const liq_palette* palette = liq_get_palette(result);
  std::vector<Rgb> colors;
  for (unsigned i = 0; i < palette->count; ++i) {
    const liq_color& c = palette->entries[i];
    colors.push_back({c.r, c.g, c.b});
  }
  return colors;
}

std::vector<liq_histogram_entry> Quantizer::Usage(const Picture8& picture) {
  std::vector<unsigned> counts(picture.palette.size(), 0);
  for (uint8_t index : picture.pixels) ++counts[index];
  std::vector<liq_histogram_entry> usage;
  for (size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] == 0) continue;
    const Rgb& c = picture.palette[i];
    usage.push_back({liq_color{c.r, c.g, c.b, 255}, counts[i]});
  }
  return usage;
}

}  // namespace kws
