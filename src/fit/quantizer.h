// libimagequant on one 720 x 576 canvas: one quantisation to at most 256
// colours, remapped as often as the search asks.
#pragma once

#include <optional>
#include <vector>

#include "fit/liq_handles.h"
#include "fit/rgba_picture.h"
#include "format/bitmap.h"

namespace kws {

class Quantizer {
 public:
  // Quantises the canvas (opaque). Throws ImportError when libimagequant
  // fails.
  explicit Quantizer(const RgbaPicture& canvas);
  Quantizer(const Quantizer&) = delete;
  Quantizer& operator=(const Quantizer&) = delete;

  // The palette's size before any reduction.
  int FullColors() const { return full_colors_; }

  // The canvas in the full palette with this much dithering (0 to 1). The
  // palette is the same quantisation each time; only the remapping differs.
  Picture8 Remap(double dithering);

  // The canvas in at most this many colours, with this much dithering. The
  // palette is the full one reduced, each entry weighted by the pixels it
  // takes without dithering, so the expensive look at the canvas is not
  // repeated.
  Picture8 Reduce(int colors, double dithering = 0.0);

  // The canvas mapped to exactly these colours with this much dithering;
  // selectively: only where the canvas is smooth (libimagequant's dither
  // map), which leaves edges and texture undithered.
  Picture8 Map(const std::vector<Rgb>& palette, double dithering, bool selective = false);

  // The palette Reduce maps to, or for the full palette the one Remap(0)
  // maps to, without mapping the canvas. Safe beside a Remap on another
  // thread once Remap(0) has been made: it reads only what that left.
  std::vector<Rgb> Palette(int colors);

 private:
  liq::Result Reduced(int colors);
  Picture8 Write(liq_result* result);
  Picture8 Write(liq_result* result, liq_image* image);
  static std::vector<Rgb> Colors(liq_result* result);
  // Each palette entry with the number of pixels it takes.
  static std::vector<liq_histogram_entry> Usage(const Picture8& picture);

  RgbaPicture canvas_;  // libimagequant reads its bytes in place
  liq::Attr attr_;
  liq::Image image_;
  liq::Result result_;
  int full_colors_ = 0;
  std::vector<liq_histogram_entry> usage_;  // of the undithered full palette
  std::optional<Picture8> undithered_;      // the canvas in it
};

}  // namespace kws
