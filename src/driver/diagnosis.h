// Why a picture was not made into update images, in the user's words, and
// which remedy fits: the log's own lines stay as they are, this is what the
// command line and the window say around them.
#pragma once

#include <string>

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

// Looks at the picture file itself and at the first error line its run
// logged ("ERROR: ..."), and says what is wrong.
Diagnosis DiagnosePicture(const std::string& picture, const std::string& first_error);

}  // namespace kws
