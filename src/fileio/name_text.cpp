#include "fileio/name_text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace kws {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// A byte as both a terminal's text and bash's $'...' write it.
std::string EscapedByte(unsigned char c) {
  if (c == '\r') return "\\r";
  if (c == '\n') return "\\n";
  if (c == '\t') return "\\t";
  return {'\\', 'x', kHex[c >> 4], kHex[c & 0xf]};
}

// The length of the valid UTF-8 sequence at the start of s, or 0 when its
// first byte does not begin one (overlong forms, surrogates and values past
// U+10FFFF are not valid).
size_t ValidSequence(std::string_view s, char32_t& code) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = b(0);
  size_t length = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
    code = lead & 0x1f;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    code = lead & 0x0f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((b(i) & 0xc0) != 0x80) return 0;
    code = (code << 6) | (b(i) & 0x3f);
  }
  const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < smallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
  return length;
}

// C0, DEL and C1: U+009B is the 8-bit CSI, which terminals act on as ESC [.
bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); }

// Splits a name into characters: plain(piece) for each valid UTF-8
// character that is no control character, odd(byte) for every other byte
// (each byte of a C1 control's sequence).
template <class Plain, class Odd>
void EachPiece(std::string_view name, Plain plain, Odd odd) {
  while (!name.empty()) {
    char32_t code = 0;
    const size_t length = ValidSequence(name, code);
    if (length == 0 || IsControl(code)) {
      const size_t bytes = std::max<size_t>(length, 1);
      for (size_t i = 0; i < bytes; ++i) odd(static_cast<unsigned char>(name[i]));
      name.remove_prefix(bytes);
      continue;
    }
    plain(name.substr(0, length));
    name.remove_prefix(length);
  }
}

}  // namespace

bool IsUtf8(std::string_view name) {
  while (!name.empty()) {
    char32_t code = 0;
    const size_t length = ValidSequence(name, code);
    if (length == 0) return false;
    name.remove_prefix(length);
  }
  return true;
}

std::u16string NameToUtf16(std::string_view name) {
  std::u16string text;
  text.reserve(name.size());
  while (!name.empty()) {
    char32_t code = 0;
    const size_t length = ValidSequence(name, code);
    if (length == 0) {
      text += static_cast<char16_t>(0xdc00 + static_cast<unsigned char>(name[0]));
      name.remove_prefix(1);
      continue;
    }
    if (code >= 0x10000) {
      text += static_cast<char16_t>(0xd800 + ((code - 0x10000) >> 10));
      text += static_cast<char16_t>(0xdc00 + ((code - 0x10000) & 0x3ff));
    } else {
      text += static_cast<char16_t>(code);
    }
    name.remove_prefix(length);
  }
  return text;
}

std::string NameFromUtf16(std::u16string_view text) {
  std::string name;
  name.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    const bool high = code >= 0xd800 && code <= 0xdbff;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xdc00 && text[i + 1] <= 0xdfff) {
      code = 0x10000 + ((code - 0xd800) << 10) + (text[++i] - 0xdc00);
    } else if (code >= 0xdc80 && code <= 0xdcff) {
      name += static_cast<char>(code - 0xdc00);  // an escaped byte
      continue;
    } else if (code >= 0xd800 && code <= 0xdfff) {
      code = 0xfffd;  // a lone surrogate no name can have made
    }
    if (code < 0x80) {
      name += static_cast<char>(code);
    } else if (code < 0x800) {
      name += static_cast<char>(0xc0 | (code >> 6));
      name += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      name += static_cast<char>(0xe0 | (code >> 12));
      name += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      name += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      name += static_cast<char>(0xf0 | (code >> 18));
      name += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
      name += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      name += static_cast<char>(0x80 | (code & 0x3f));
    }
  }
  return name;
}

std::string TerminalName(std::string_view name) {
  std::string shown;
  shown.reserve(name.size());
  EachPiece(
      name, [&](std::string_view piece) { shown.append(piece); },
      [&](unsigned char odd) { shown += EscapedByte(odd); });
  return shown;
}

std::string ShellWord(std::string_view name) {
  const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return std::isalnum(c) || std::string_view("._/+-=:,@%").find(static_cast<char>(c)) != std::string_view::npos;
  });
  if (plain) return std::string(name);
  if (TerminalName(name) == name) {
    std::string quoted = "'";
    for (const char c : name) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  }
  // $'...' takes \xHH for any byte; its own specials are escaped.
  std::string quoted = "$'";
  EachPiece(
      name,
      [&](std::string_view piece) {
        if (piece[0] == '\\' || piece[0] == '\'') quoted += '\\';
        quoted.append(piece);
      },
      [&](unsigned char odd) { quoted += EscapedByte(odd); });
  return quoted + "'";
}

}  // namespace kws
