// What an import did with a picture, and the report in words: the same for
// the desktop programs and the browser page.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "fit/dither_choice.h"
#include "fit/placement.h"

namespace kws {

struct ImportReport {
  int source_width = 0;
  int source_height = 0;
  int placed_width = 0;  // the picture's size on the 720 x 576 canvas
  int placed_height = 0;
  bool unchanged = false;  // a bitmap the pipeline takes, kept as it was
  bool fitted = false;     // dithering or colours were given up to fit
  int colors = 0;          // palette entries written
  double dithering = 0;    // 0 none to 1 full
  Dithered dithered = Dithered::kNone;
  std::string dither_why;         // the kind of dithering chosen and why, in words; empty when nothing was chosen
  int smoothing = 0;              // passes of light smoothing before the colours were reduced
  double smoothing_strength = 0;  // of the last pass, 0 to 1
  size_t first_size = 0;          // at 256 colours and full dithering, before fitting
  size_t size = 0;                // colour table + gzip member as written
  size_t budget = 0;
  double psnr_db = 0;       // against the scaled picture; infinite when equal
  double psnr_seen_db = 0;  // the same as seen (see measure.h), by which versions are chosen
  int candidates = 0;       // versions made and measured
  Display display = Display::kSquare;
  SafeArea safe = SafeArea::kNone;
  bool for_tv = false;  // the display is named, the TV warnings given
  double scale = 1;     // how much the picture grew, as shown on the display
  // What was wrong with the picture's data though it could still be read
  // (a cut-short file, say), for the user.
  std::vector<std::string> warnings;

  bool Fits() const { return size <= budget; }
};

// The report as lines for the command line, and as one line for a status bar;
// both end with the warnings.
std::string DescribeReport(const ImportReport& report);
std::string SummarizeReport(const ImportReport& report);

}  // namespace kws
