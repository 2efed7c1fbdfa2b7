// The verdict on a checked update image, in one headline: what it is, for
// which receiver, and whether it is safe to flash; the report's lines are the
// details.
#pragma once

#include <string>

#include "inspect/inspect.h"
#include "ui/dialogs.h"

namespace kws {

// path: the checked file, as the user chose it.
Verdict MakeVerdict(const std::string& path, const InspectReport& report);

}  // namespace kws
