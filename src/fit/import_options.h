// What an import is asked to make of a picture: the same options for the
// command line, the window and the page, without any toolkit's types.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "fit/dither_choice.h"
#include "fit/placement.h"
#include "format/advice_words.h"
#include "format/bitmap.h"
#include "format/welcome_image.h"

namespace kws {

enum class CaptionPosition { kTop, kBottom };

// One line of text drawn on the picture before its colours are reduced, so
// that the budget holds it too.
struct Caption {
  std::string text;
  CaptionPosition position = CaptionPosition::kBottom;
  Rgb color{235, 235, 235};  // light grey: pure white blooms on many TVs
  // On a band of its own below (or above) the picture, which is made smaller
  // to leave room for it, instead of across the picture.
  bool band = false;
};

// The largest and smallest letter height tried, in pixels: a caption too
// long for the title-safe width at the largest is set smaller, one too long
// at the smallest is broken into two lines between words, and one that does
// not fit even so is refused. Below 18 pixels letters blur on a TV.
inline constexpr int kCaptionPixelSize = 28;
inline constexpr int kMinCaptionPixelSize = 18;

struct ImportOptions {
  Rgb background{0, 0, 0};  // around a picture scaled to fit
  bool fill = false;        // scale to cover 720 x 576 and crop instead
  bool fit = true;          // search for a version within the budget
  size_t budget = welcome::kMaxDataLength;
  // The TV the picture is made for: it is scaled so that it keeps its
  // proportions there. Square is the receiver's pixels as they are; the
  // command line and the window ask for 4:3 unless told otherwise.
  Display display = Display::kSquare;
  SafeArea safe = SafeArea::kNone;  // the part of the frame the picture is fitted into
  // Speak as for a TV: name the display in the report, and warn of what
  // shows badly on a TV (see tv_checks.h).
  bool for_tv = false;
  std::optional<Caption> caption{};
  // When something has to be given up to fit: weigh versions of every kind
  // (palettes chosen for their bytes as well, undithered and dithered) and
  // take the one closest to the picture as seen (see seen_search.h). The
  // command line, the window and the page ask for it; without it, less
  // dithering first, then fewer colours.
  bool by_seen = false;
  // The dithering the version taken may have (see dither_choice.h); without
  // fitting, of the full palette's versions.
  DitherKind dither = DitherKind::kAuto;
  // Whose words the warnings' advice uses.
  AdviceWords words = AdviceWords::kCommandLine;
};

// The options of an import for a TV, as the command line, the window and the
// page all start from: made for that display and safe area, the report
// naming the display and giving the TV warnings, the choice by PSNR as seen on.
ImportOptions TvImportOptions(Display display, SafeArea safe);

}  // namespace kws
