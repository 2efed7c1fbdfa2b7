// Names as the terminal shows them, and the commands a hint offers.
#pragma once

#include <string>

namespace kws::cli {

// A name with the bytes a terminal would act on made visible.
std::string Escaped(const std::string& text);

// "kestro-welcome-cli import photo.png photo.bmp": the command that fixes it.
// Its output is a name that nothing has yet (photo-1.bmp, ...), so that
// following the hint never replaces a file.
std::string ImportHint(const std::string& picture);

}  // namespace kws::cli
