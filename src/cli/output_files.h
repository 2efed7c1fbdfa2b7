// The files the user names as output: refused, written, or said to be replaced.
#pragma once

#include <string>

#include "cli/invocation.h"
#include "fileio/destination.h"
#include "format/bitmap.h"

namespace kws::cli {

// Why out may not be written, or empty when it may: a file of the user's is
// replaced only with --force, a command's own input never.
std::string OutputRefusal(const Invocation& inv, const std::string& out, const DestinationCheck& target);

// Says the refusal on stderr; true when out may not be written.
bool RefuseOutput(const Invocation& inv, const std::string& out, const DestinationCheck& target);

// Every replacement is said, on stderr (never in the activity log), also
// with --quiet: a file that was there is gone.
void SayReplaced(const Invocation& inv, const std::string& out, const DestinationCheck& target);

// What became of out, on stderr: replaced, or kept with the bytes written
// beside it because it was no longer what was judged.
void SayWritten(const Invocation& inv, const std::string& out, const DestinationCheck& target,
                const WrittenTo& written);

// Writes picture as a bitmap made for purpose to a destination already
// checked; says so (and under which name) on out, or why not on err.
int WriteBitmap(Invocation& inv, const std::string& path, const Picture8& picture, const char* what,
                const DestinationCheck& target);

}  // namespace kws::cli
