// A zip archive whose members are stored, not compressed: the update images
// are mostly 0xFF padding behind an already compressed picture, and a
// stored member is what every unzip tool and file manager opens.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kws::web {

struct ZipMember {
  std::string name;
  std::vector<uint8_t> bytes;
};

// The whole archive. Every member carries the same fixed date (1980-01-01),
// so the same images always give the same archive.
std::vector<uint8_t> StoredZip(const std::vector<ZipMember>& members);

}  // namespace kws::web
