// File names are bytes, not text: these turn them into text that can be
// shown, copied into a shell or stored in JSON, without losing a byte.
#pragma once

#include <string>
#include <string_view>

namespace kws {

// The name as UTF-16, losslessly: valid UTF-8 is decoded, and each byte that
// is not part of valid UTF-8 becomes the lone surrogate U+DC00 + byte (the
// "surrogateescape" convention of PEP 383, so Python's os.fsencode gives the
// bytes back). JSON writes such a unit as "\udcff".
std::u16string NameToUtf16(std::string_view name);
// The bytes again; the inverse of NameToUtf16.
std::string NameFromUtf16(std::u16string_view text);

// Whether the name is valid UTF-8 throughout.
bool IsUtf8(std::string_view name);

// The name as a terminal shows it: control characters as \r, \n, \x1b (as in
// the log), and bytes that are not valid UTF-8 as \xff, so that neither can
// steer the terminal or be mistaken for another character.
std::string TerminalName(std::string_view name);

// The name as one word to copy into a POSIX shell: as it is when it holds
// only the usual characters, in single quotes when it holds no control
// characters or invalid bytes, else in $'...' with \xHH escapes; in every
// case the shell gives back exactly these bytes.
std::string ShellWord(std::string_view name);

}  // namespace kws
