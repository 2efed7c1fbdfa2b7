// --display, which import and preview share.
#pragma once

#include "cli/invocation.h"
#include "fit/placement.h"

namespace kws::cli {

// The display a picture is made for, or previewed on: 4:3 unless told.
Display DisplayOption(const Invocation& inv);

}  // namespace kws::cli
