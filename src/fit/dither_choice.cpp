#include "fit/dither_choice.h"

#include <algorithm>
#include <limits>

namespace kws {

namespace {

bool Takes(DitherKind kind, Dithered dithered) {
  switch (kind) {
    case DitherKind::kSelective:
      return dithered == Dithered::kSelective;
    case DitherKind::kNone:
      return dithered == Dithered::kNone;
    case DitherKind::kAuto:
    case DitherKind::kSeen:
      break;
  }
  return true;
}

// The plain error no version may exceed: the least of the selective ones,
// so that the default never loses plain PSNR against selective dithering.
// Without a selective version nothing is held against.
uint64_t PlainCeiling(const std::vector<Judged>& versions, DitherKind kind) {
  uint64_t ceiling = std::numeric_limits<uint64_t>::max();
  if (kind != DitherKind::kAuto) return ceiling;
  bool any = false;
  for (const Judged& v : versions) {
    if (v.dithered != Dithered::kSelective) continue;
    ceiling = any ? std::min(ceiling, v.plain_error) : v.plain_error;
    any = true;
  }
  return ceiling;
}

const char* WhyChosen(DitherKind asked) {
  switch (asked) {
    case DitherKind::kAuto:
      return "closest as seen without losing plain PSNR";
    case DitherKind::kSeen:
      return "closest as seen";
    case DitherKind::kSelective:
    case DitherKind::kNone:
      break;
  }
  return "as asked";
}

}  // namespace

std::string DitherKindName(DitherKind kind) {
  switch (kind) {
    case DitherKind::kAuto:
      return "auto";
    case DitherKind::kSeen:
      return "seen";
    case DitherKind::kSelective:
      return "selective";
    case DitherKind::kNone:
      break;
  }
  return "none";
}

std::optional<DitherKind> ParseDitherKind(const std::string& text) {
  for (DitherKind kind : {DitherKind::kAuto, DitherKind::kSeen, DitherKind::kSelective, DitherKind::kNone}) {
    if (text == DitherKindName(kind)) return kind;
  }
  return std::nullopt;
}

std::string DitheredName(Dithered dithered) {
  switch (dithered) {
    case Dithered::kSelective:
      return "selective";
    case Dithered::kFull:
      return "full";
    case Dithered::kNone:
      break;
  }
  return "none";
}

std::optional<size_t> ChooseVersion(const std::vector<Judged>& versions, DitherKind kind) {
  const uint64_t ceiling = PlainCeiling(versions, kind);
  std::optional<size_t> chosen;
  for (size_t i = 0; i < versions.size(); ++i) {
    const Judged& v = versions[i];
    if (!Takes(kind, v.dithered) || v.plain_error > ceiling) continue;
    if (chosen) {
      const Judged& best = versions[*chosen];
      if (v.seen_error > best.seen_error) continue;
      if (v.seen_error == best.seen_error && v.plain_error >= best.plain_error) continue;
    }
    chosen = i;
  }
  return chosen;
}

std::string DitherReason(DitherKind asked, Dithered chosen, bool exact_colours) {
  static const char* const kWords[] = {"no dithering", "selective dithering", "full dithering"};
  const std::string dithering = kWords[static_cast<int>(chosen)];
  if (exact_colours) return dithering + ": every colour kept exactly";
  if (!Takes(asked, chosen)) {
    const char* missing = asked == DitherKind::kNone ? "no undithered" : "no selectively dithered";
    return dithering + ": " + missing + " version fits, so chosen as by default";
  }
  return dithering + ": " + WhyChosen(asked);
}

}  // namespace kws
