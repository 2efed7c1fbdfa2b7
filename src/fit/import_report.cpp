// The import report in words: several lines for the command line, one for
// the window's status line.
#include "fit/import_report.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "format/bitmap.h"
#include "format/number_text.h"

namespace kws {

namespace {

std::string Dimensions(int width, int height) { return std::to_string(width) + " x " + std::to_string(height); }

std::string Scaling(const ImportReport& r) {
  const std::string source = Dimensions(r.source_width, r.source_height);
  if (r.unchanged) return source + " bitmap the receivers take, kept unchanged";
  if (r.placed_width == r.source_width && r.placed_height == r.source_height) return source + ", not scaled";
  std::string text = source + ", scaled to " + Dimensions(r.placed_width, r.placed_height);
  if (r.placed_width > kPictureWidth || r.placed_height > kPictureHeight) {
    return text + " and cropped to " + Dimensions(kPictureWidth, kPictureHeight);
  }
  if (r.placed_width < kPictureWidth || r.placed_height < kPictureHeight) return text + " and centred";
  return text;
}

// "Display: 4:3 TV (each pixel 16:15 wide), fitted into the action-safe area".
std::string DisplayLine(const ImportReport& r) {
  std::string text;
  switch (r.display) {
    case Display::k4x3:
      text = "4:3 TV (each pixel shows 16:15 as wide as high)";
      break;
    case Display::k16x9:
      text = "16:9 TV (each pixel shows 64:45 as wide as high)";
      break;
    case Display::kSquare:
      text = "square pixels, as on a computer screen";
      break;
  }
  if (r.unchanged || (r.source_width == kPictureWidth && r.source_height == kPictureHeight)) {
    text += "; a 720 x 576 picture is taken as drawn for the receivers and placed unchanged";
  } else if (r.safe != SafeArea::kNone) {
    text += ", fitted into the " + SafeAreaName(r.safe) + "-safe area";
  }
  return text;
}

std::string Dithering(const ImportReport& r) {
  if (r.dithered == Dithered::kSelective) return "selective dithering";
  const double level = r.dithering;
  if (level == 0.0) return "no dithering";
  char text[32];
  std::snprintf(text, sizeof text, "dithering %g%%", level * 100);
  return text;
}

std::string Smoothing(const ImportReport& r);

// "187 colours, no dithering, no smoothing"; without the word for the
// report's own line.
std::string Colors(const ImportReport& r, bool with_noun) {
  std::string text = std::to_string(r.colors);
  if (with_noun) text += r.colors == 1 ? " colour" : " colours";
  return r.unchanged ? text : text + ", " + Dithering(r) + ", " + Smoothing(r);
}

std::string SizeAgainstBudget(const ImportReport& r) {
  std::string text = GroupDigits(r.size) + " of " + GroupDigits(r.budget) + " bytes";
  if (!r.Fits()) text += ", " + GroupDigits(r.size - r.budget) + " over: too big for the receivers";
  return text;
}

// " at 62% strength" for a pass made only part of the way; nothing for a
// whole one.
std::string Strength(double strength) {
  if (strength <= 0 || strength >= 1) return "";
  char text[32];
  std::snprintf(text, sizeof text, " at %g%% strength", strength * 100);
  return text;
}

std::string Decibels(double db) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f dB", db);
  return text;
}

std::string Psnr(double db) { return std::isinf(db) ? "lossless" : Decibels(db); }

std::string Smoothing(const ImportReport& r) {
  if (r.smoothing == 0) return "no smoothing";
  return "smoothed lightly" + Strength(r.smoothing_strength);
}

}  // namespace

std::string DescribeReport(const ImportReport& r) {
  std::string text = "Picture: " + Scaling(r) + "\n";
  if (r.for_tv) text += "Display: " + DisplayLine(r) + "\n";
  text += "Colours: " + Colors(r, false) + "\n";
  text += "Size:    " + SizeAgainstBudget(r) + " (colour table and compressed picture)\n";
  if (r.fitted) {
    text += "Fit:     every colour with full dithering took " + GroupDigits(r.first_size) +
            " bytes; the best-looking version that fits was chosen\n";
    if (r.smoothing > 0) {
      text += "         smoothed lightly (" + std::to_string(r.smoothing) + (r.smoothing == 1 ? " pass" : " passes") +
              ")" + Strength(r.smoothing_strength) +
              " before its colours were reduced, which left room for more of them\n";
    }
  }
  if (!r.unchanged && !r.dither_why.empty()) text += "Dither:  " + r.dither_why + "\n";
  if (!r.unchanged) text += "PSNR:    " + Psnr(r.psnr_db) + " against the scaled picture\n";
  if (!r.unchanged && !std::isinf(r.psnr_db)) {
    text += "As seen: " + Psnr(r.psnr_seen_db) + ", both blurred as a TV shows them (the fit is chosen by this)\n";
  }
  for (const std::string& warning : r.warnings) text += "Warning: " + warning + "\n";
  return text;
}

std::string SummarizeReport(const ImportReport& r) {
  std::string text = r.unchanged ? "kept unchanged" : Colors(r, true);
  text += ", " + SizeAgainstBudget(r);
  if (!r.unchanged) text += ", PSNR " + Psnr(r.psnr_db);
  if (!r.unchanged && !std::isinf(r.psnr_db)) text += ", as seen " + Psnr(r.psnr_seen_db);
  for (const std::string& warning : r.warnings) text += "; warning: " + warning;
  return text;
}

}  // namespace kws
