// The process's address space, for limits set on it (RLIMIT_AS): what it
// takes now, and whether AddressSanitizer's shadow memory, which needs far
// more address space than it uses, rules such a limit out.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace kws {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// The address space this process takes now, from /proc; 0 where it cannot
// tell.
inline uint64_t AddressSpaceBytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  uint64_t kb = 0;
  while (status >> key) {
    if (key == "VmSize:" && status >> kb) return kb * 1024;
  }
  return 0;
}

}  // namespace kws
