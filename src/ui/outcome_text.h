// What the window's second status field says: the outcome of a run in words,
// the batch's progress, and what the button will convert when nothing else
// is going on. Plain text; names are shown as PrintableName gives them.
#pragma once

#include <string>

#include "driver/diagnosis.h"

namespace kws {

// The folder as a user reads it at a glance: the home folder as "~", and a
// deep path as its first part, "…" and its last ("~/…/Output").
std::string ShortFolder(const std::string& folder, const std::string& home);

// The file name without its folder, printable.
std::string ShownName(const std::string& path);

// "6 images in ~/…/Output"
std::string MadeText(const std::string& output_folder, const std::string& home);

// "failed: logo24.bmp — bit depth 24, needs 8 (File ▸ Import picture… converts it)"
std::string FailedText(const std::string& picture, const Diagnosis& why);

// "13 of 16 pictures made, 3 failed"; with the reason a batch stopped early.
std::string BatchText(int made, int failed, int total, const std::string& stopped);

// "3 of 16: name.bmp"
std::string ProgressText(int index, int total, const std::string& picture);

// What the button converts when no picture is opened: the bitmaps in Input.
std::string NothingOpenedText(int bitmaps, const std::string& input_folder);

// An opened file the preview cannot show.
std::string CannotShowText(const std::string& picture, const std::string& reason);

// "name.bmp no longer exists"
std::string GoneText(const std::string& picture);

// The preview shows the picture inside a checked update image, not what the
// button converts.
std::string PreviewShowsImageText(const std::string& image, const std::string& opened, int input_bitmaps);

// The number of bitmaps a batch of the Input folder takes: regular *.bmp
// files (any letter case) whose names do not begin with ".".
int CountInputBitmaps(const std::string& input_folder);

}  // namespace kws
