// Which of the versions that fit the import takes: the dithering a user asks
// for, and the rule that weighs plain PSNR against PSNR as seen.
//
// Full dithering comes closest as seen almost everywhere, but over smooth
// backgrounds (sky, bokeh, a near-flat logo) it leaves a fine grain that a
// TV scaling the picture up to its panel and sharpening it shows, and it
// costs plain PSNR. Selective dithering (libimagequant's dither map: only
// where the picture is smooth) keeps most of what dithering gives there
// without the grain elsewhere. The default takes, of the versions at least
// as close in plain PSNR as the best selective one, the closest as seen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kws {

// What the user asks for.
enum class DitherKind {
  kAuto,       // closest as seen without losing plain PSNR against selective dithering
  kSeen,       // closest as seen, however grainy
  kSelective,  // selectively dithered versions only
  kNone,       // undithered versions only
};

// How a version is dithered.
enum class Dithered { kNone, kSelective, kFull };

// "auto", "seen", "selective", "none": the option's and JSON's words.
std::string DitherKindName(DitherKind kind);
std::optional<DitherKind> ParseDitherKind(const std::string& text);
inline constexpr const char* kDitherKindChoices = "auto|seen|selective|none";

// "none", "selective", "full": the kind a version was made with.
std::string DitheredName(Dithered dithered);

// A version as the rule sees it: its errors against the picture (smaller
// is closer) and how it is dithered.
struct Judged {
  uint64_t seen_error = 0;   // as seen (SeenError)
  uint64_t plain_error = 0;  // the plain squared error PSNR counts
  Dithered dithered = Dithered::kNone;
};

// The index of the version the kind takes among versions that all fit;
// nothing when none is of a kind it takes. Of versions equally close as
// seen the one closer in plain PSNR, then the first.
std::optional<size_t> ChooseVersion(const std::vector<Judged>& versions, DitherKind kind);

// The report's line on the dithering chosen and why, as "selective
// dithering: closest as seen without losing plain PSNR".
std::string DitherReason(DitherKind asked, Dithered chosen, bool exact_colours);

}  // namespace kws
