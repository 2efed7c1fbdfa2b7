#include "fit/tv_checks.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "format/bitmap.h"

namespace kws {

namespace {

std::string Percent(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", share * 100);
  return text;
}

}  // namespace

TvMeasures MeasureForTv(const RgbaPicture& canvas) {
  const int width = canvas.width, height = canvas.height;
  TvMeasures m;
  if (width < 1 || height < 3) return m;
  std::vector<int> luma(static_cast<size_t>(width) * static_cast<size_t>(height));
  size_t white = 0;
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = canvas.Row(y);
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = row + 4 * x;
      luma[static_cast<size_t>(y) * width + x] = (299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000;
      if (p[0] >= 250 && p[1] >= 250 && p[2] >= 250) ++white;
    }
  }
  const auto at = [&](int x, int y) { return luma[static_cast<size_t>(y) * width + x]; };
  const Rect safe = SafeRect(SafeArea::kAction, Size{width, height});
  const auto inside = [&safe](int x, int y) {
    return x >= safe.x && x < safe.x + safe.width && y >= safe.y && y < safe.y + safe.height;
  };
  size_t outside = 0, edges = 0, thin = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int here = at(x, y);
      if (!inside(x, y)) {
        ++outside;
        const bool right = x + 1 < width && std::abs(here - at(x + 1, y)) > kStrongDifference;
        const bool below = y + 1 < height && std::abs(here - at(x, y + 1)) > kStrongDifference;
        if (right || below) ++edges;
      }
      if (y > 0 && y + 1 < height) {
        const int up = here - at(x, y - 1), down = here - at(x, y + 1);
        if ((up > kStrongDifference && down > kStrongDifference) ||
            (up < -kStrongDifference && down < -kStrongDifference)) {
          ++thin;
        }
      }
    }
  }
  m.edges_outside_safe = outside ? double(edges) / double(outside) : 0.0;
  m.thin_lines = double(thin) / (double(width) * (height - 2));
  m.white = double(white) / (double(width) * height);
  return m;
}

std::string SafeAreaChoice(SafeArea safe, AdviceWords words) {
  const bool title = safe == SafeArea::kTitle;
  if (words == AdviceWords::kPage) return title ? "choose Safe area: title-safe" : "choose Safe area: action-safe";
  return title ? "--safe title" : "--safe action";
}

std::vector<std::string> TvWarnings(const TvMeasures& m, double scale, double psnr_db, SafeArea safe,
                                    AdviceWords words) {
  std::vector<std::string> warnings;
  char number[32];
  if (scale > kMaxUpscale) {
    std::snprintf(number, sizeof number, "%.1f", scale);
    warnings.push_back(std::string("the picture is scaled up ") + number +
                       " times, so it will look soft or blocky on the TV; use a larger original, ideally 768 x 576 "
                       "pixels or more");
  }
  if (std::isfinite(psnr_db) && psnr_db < kMinPsnrDb) {
    std::snprintf(number, sizeof number, "%.1f", psnr_db);
    warnings.push_back(std::string("the colours had to be reduced a lot (PSNR ") + number +
                       " dB, below 28 dB), so banding or speckle may show; use a simpler picture: fewer fine "
                       "details, larger flat areas, or a plain background");
  }
  if (safe == SafeArea::kNone && m.edges_outside_safe > kMaxEdgesOutsideSafe) {
    warnings.push_back("details (edges, lines or text) lie in the outer 5 % of the frame, which many TVs hide (" +
                       Percent(m.edges_outside_safe) + " of that strip); fit the picture into the action-safe area (" +
                       SafeAreaChoice(SafeArea::kAction, words) + "), or the title-safe area for text (" +
                       SafeAreaChoice(SafeArea::kTitle, words) + ")");
  }
  if (m.thin_lines > kMaxThinLines) {
    warnings.push_back(Percent(m.thin_lines) +
                       " of the picture is horizontal lines or strokes one pixel high (pixels far brighter or "
                       "darker than both the pixel above and the one below), which flicker on an interlaced TV; "
                       "make lines and text at least two pixels thick, or soften the picture vertically");
  }
  if (m.white > kMaxWhite) {
    warnings.push_back(Percent(m.white) +
                       " of the frame is pure white, more than the 10 % many TVs show without blooming or "
                       "glare; use a light grey such as #e0e0e0 for large areas instead");
  }
  return warnings;
}

}  // namespace kws
