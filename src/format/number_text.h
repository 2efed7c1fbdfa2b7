// Numbers as the tool writes them for people.
#pragma once

#include <cstdint>
#include <string>

namespace kws {

// "180,208": a comma before each group of three digits. Written front to
// back: inserting the commas into the digits in place moves the string's tail
// on each insert, which GCC 12 at -O3 takes for an overlapping copy
// (-Wrestrict).
inline std::string GroupDigits(uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  grouped.reserve(digits.size() + digits.size() / 3);
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace kws
