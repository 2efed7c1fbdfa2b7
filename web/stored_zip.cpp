#include "stored_zip.h"

#include <zlib.h>

#include <stdexcept>

namespace kws::web {

namespace {

constexpr uint16_t kVersionNeeded = 20;  // 2.0: the oldest readers take it
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01, the first date a zip can hold

// Zip's numbers are little-endian.
class Writer {
 public:
  void U16(uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Bytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + size);
  }
  std::vector<uint8_t> out;
};

struct Entry {
  const ZipMember* member;
  uint32_t crc;
  uint32_t offset;
};

// The fields a local header and a central directory entry share, from
// "version needed" to the name's length.
void CommonFields(Writer& w, const Entry& e) {
  const auto size = static_cast<uint32_t>(e.member->bytes.size());
  w.U16(kVersionNeeded);
  w.U16(0);  // flags: no data descriptor, no encryption
  w.U16(kMethodStored);
  w.U16(kDosTime);
  w.U16(kDosDate);
  w.U32(e.crc);
  w.U32(size);  // compressed size
  w.U32(size);  // uncompressed size
  w.U16(static_cast<uint32_t>(e.member->name.size()));
  w.U16(0);  // extra field length
}

}  // namespace

std::vector<uint8_t> StoredZip(const std::vector<ZipMember>& members) {
  Writer w;
  std::vector<Entry> entries;
  for (const ZipMember& m : members) {
    // Without the zip64 extension sizes and offsets must stay below 4 GiB;
    // six update images are far below.
    if (m.bytes.size() >= 0xFFFFFFFFu || w.out.size() >= 0xFFFFFFFFu - m.bytes.size()) {
      throw std::length_error("zip archive too large");
    }
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), m.bytes.data(), static_cast<uInt>(m.bytes.size()));
    const Entry e{&m, static_cast<uint32_t>(crc), static_cast<uint32_t>(w.out.size())};
    w.U32(0x04034b50);  // local file header
    CommonFields(w, e);
    w.Bytes(m.name.data(), m.name.size());
    w.Bytes(m.bytes.data(), m.bytes.size());
    entries.push_back(e);
  }
  const auto directory_start = static_cast<uint32_t>(w.out.size());
  for (const Entry& e : entries) {
    w.U32(0x02014b50);      // central directory entry
    w.U16(kVersionNeeded);  // version made by: 2.0, MS-DOS attributes
    CommonFields(w, e);
    w.U16(0);  // comment length
    w.U16(0);  // disk number
    w.U16(0);  // internal attributes
    w.U32(0);  // external attributes
    w.U32(e.offset);
    w.Bytes(e.member->name.data(), e.member->name.size());
  }
  const auto directory_size = static_cast<uint32_t>(w.out.size()) - directory_start;
  w.U32(0x06054b50);  // end of central directory
  w.U16(0);           // this disk
  w.U16(0);           // disk with the directory
  w.U16(static_cast<uint32_t>(entries.size()));
  w.U16(static_cast<uint32_t>(entries.size()));
  w.U32(directory_size);
  w.U32(directory_start);
  w.U16(0);  // comment length
  return std::move(w.out);
}

}  // namespace kws::web
