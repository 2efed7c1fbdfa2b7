// How the inspector words a fault: the layer, the field, the value the steps
// write there and the value the file holds, in one line.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kws::inspect {

using Bytes = std::span<const uint8_t>;

// "<layer>: <field>: expected <expected>, found <found>". The stage tells how
// far a reading got before it failed, where several readings are tried.
class Fault : public std::runtime_error {
 public:
  Fault(const std::string& line, int stage) : std::runtime_error(line), stage_(stage) {}
  int stage() const { return stage_; }

 private:
  int stage_;
};

[[noreturn]] void Fail(std::string_view layer, std::string_view field, std::string_view expected,
                       std::string_view found, int stage = 0);

// Fails at the first byte of bytes[from, to) that is not value.
void ExpectFill(Bytes bytes, size_t from, size_t to, uint8_t value, std::string_view layer, std::string_view field);

std::string Dec(uint64_t value);
std::string Hex32(uint32_t value);          // 0x1234ABCD
std::string HexBytes(Bytes bytes);          // 46 69 6D 67
std::string Quoted(std::string_view text);  // "kestro400", \xNN for anything unprintable

}  // namespace kws::inspect
