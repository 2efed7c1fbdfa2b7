#include "fit/dither_choice.h"

#include <algorithm>
#include <limits>

namespace kws {

namespace {

bool Takes(DitherKind kind, Dithered dithered) {
  if (kind == DitherKind::kSelective) return dithered == Dithered::kSelective;
  if (kind == DitherKind::kNone) return dithered == Dithered::kNone;
  return true;
}

// The plain error no version may exceed: the least of the selective ones,
// so that the default never loses plain PSNR against selective dithering.
// Without a selective version nothing is held against.
uint64_t PlainCeiling(const std::vector<Judged>& versions, DitherKind kind) {
  uint64_t ceiling = std::numeric_limits<uint64_t>::max();
  if (kind != DitherKind::kAuto) return ceiling;
  for (const Judged& v : versions) {
    if (v.dithered == Dithered::kSelective) ceiling = std::min(ceiling, v.plain_error);
  }
  return ceiling;
}

// Each kind's and each dithering's words, in the order of their enums.
constexpr const char* kKindNames[] = {"auto", "seen", "selective", "none"};
constexpr const char* kDitheredNames[] = {"none", "selective", "full"};
constexpr const char* kDitheredWords[] = {"no dithering", "selective dithering", "full dithering"};
constexpr const char* kWhyChosen[] = {"closest as seen without losing plain PSNR", "closest as seen", "as asked",
                                      "as asked"};

}  // namespace

std::string DitherKindName(DitherKind kind) { return kKindNames[static_cast<int>(kind)]; }

std::optional<DitherKind> ParseDitherKind(const std::string& text) {
  for (DitherKind kind : {DitherKind::kAuto, DitherKind::kSeen, DitherKind::kSelective, DitherKind::kNone}) {
    if (text == DitherKindName(kind)) return kind;
  }
  return std::nullopt;
}

std::string DitheredName(Dithered dithered) { return kDitheredNames[static_cast<int>(dithered)]; }

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
  const std::string dithering = kDitheredWords[static_cast<int>(chosen)];
  if (exact_colours) return dithering + ": every colour kept exactly";
  if (!Takes(asked, chosen)) {
    const char* missing = asked == DitherKind::kNone ? "no undithered" : "no selectively dithered";
    return dithering + ": " + missing + " version fits, so chosen as by default";
  }
  return dithering + ": " + kWhyChosen[static_cast<int>(asked)];
}

}  // namespace kws
