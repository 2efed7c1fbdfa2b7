#include "inspect/fault.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kws::inspect {

void Fail(std::string_view layer, std::string_view field, std::string_view expected, std::string_view found,
          int stage) {
  std::string line;
  line.append(layer).append(": ").append(field).append(": expected ").append(expected);
  line.append(", found ").append(found);
  throw Fault(line, stage);
}

void ExpectFill(Bytes bytes, size_t from, size_t to, uint8_t value, std::string_view layer, std::string_view field) {
  const Bytes range = bytes.subspan(from, to - from);
  // Every byte equals the next one and the first is the value: the library's
  // compare runs through the whole fill at memory speed.
  if (range.empty() || (range[0] == value && std::memcmp(range.data(), range.data() + 1, range.size() - 1) == 0)) {
    return;
  }
  const auto odd = std::find_if(range.begin(), range.end(), [value](uint8_t b) { return b != value; });
  if (odd == range.end()) return;
  const size_t at = from + static_cast<size_t>(odd - range.begin());
  Fail(layer, std::string(field) + " at byte " + Dec(at), HexBytes(Bytes(&value, 1)), HexBytes(Bytes(&*odd, 1)));
}

std::string Dec(uint64_t value) { return std::to_string(value); }

std::string Hex32(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string HexBytes(Bytes bytes) {
  std::string text;
  for (uint8_t b : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", b);
    if (!text.empty()) text += ' ';
    text += pair;
  }
  return text;
}

std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '"' && c != '\\') {
      quoted += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      quoted += escape;
    }
  }
  return quoted + '"';
}

}  // namespace kws::inspect
