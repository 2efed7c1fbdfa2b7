// Numbers as the import's messages show them.
#pragma once

#include <cstdint>
#include <string>

namespace kws {

// 180208 -> "180,208".
std::string GroupDigits(uint64_t value);

}  // namespace kws
