// The SHA-256 of an image, as --json reports it: OpenSSL's, which uses the
// processor's SHA instructions where it has them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kws::cli {

// Lower-case hexadecimal, as sha256sum prints it.
std::string Sha256Hex(std::span<const uint8_t> bytes);

}  // namespace kws::cli
