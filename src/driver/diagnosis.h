// Why a picture was not made into update images, in the user's words, and
// which remedy fits: the log's own lines stay as they are, this is what the
// command line, the window and the page say around them. The reason is
// worded from the chain's record of what stopped it, never from the log's
// text: it names the rule the chain broke first, and adds the cause behind
// it that the picture file shows.
#pragma once

#include <string>

#include "steps/step_failure.h"

namespace kws {

enum class Remedy {
  kNone,       // nothing the tool can do about it (a disk fault, a vanished file)
  kImport,     // not a bitmap the receivers take: importing the picture makes one
  kImportFit,  // a bitmap the receivers take, but too detailed: importing fits it
};

struct Diagnosis {
  std::string plain;  // "bit depth 24, needs 8"
  Remedy remedy = Remedy::kNone;
};

// What the remedy asks of the user, for a hint after the reason: "import it
// to fit, with fewer colours or less dithering"; empty for kNone. Each front
// door adds how to do it there (the command line its import command).
std::string RemedyAdvice(Remedy remedy);

// Says what is wrong with the picture file, given what stopped its chain.
Diagnosis Diagnose(const std::string& picture, const StepFailure& failure);

}  // namespace kws
