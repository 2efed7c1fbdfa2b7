// Nothing records where the colour table ends: the gzip member is found by
// its magic bytes behind a prefix of colour-table size. A palette can hold
// those bytes too, so every place they occur is read as a member, and the
// reading that gets furthest stands.
#include "inspect/welcome_data.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <optional>
#include <string_view>

#include "format/byte_order.h"
#include "format/gzip_member.h"
#include "format/image_crc.h"
#include "format/pipeline_files.h"

namespace kws {
namespace inspect {

namespace {

// The name gzip_f9 stores: the pipeline's file of pixel rows.
constexpr std::string_view kStoredName = files::kPixelRows;
// A longer name field than this is not looked for.
constexpr size_t kMaxNameField = 256;

// How far a reading of one candidate member got; the furthest is reported.
enum Stage : int { kHeaderStage = 1, kNameStage, kDeflateStage, kTrailerStage, kPixelStage, kTableStage, kIndexStage };

// A raw-deflate inflate stream, ended on every way out. It never moves: zlib
// keeps a pointer back to it.
class InflateStream {
 public:
  InflateStream() {
    if (inflateInit2(&z_, gz::kRawDeflateWindowBits) != Z_OK) throw std::bad_alloc();
  }
  ~InflateStream() { inflateEnd(&z_); }
  InflateStream(const InflateStream&) = delete;
  InflateStream& operator=(const InflateStream&) = delete;
  z_stream& z() { return z_; }

 private:
  z_stream z_{};
};

struct Inflated {
  std::vector<uint8_t> bytes;
  size_t consumed = 0;  // deflate bytes up to the end of the stream
};

// Decodes raw deflate data into at most one byte more than a picture holds,
// so no input, however hostile, makes it allocate more.
Inflated Inflate(Bytes deflate) {
  Inflated out;
  out.bytes.resize(kPictureBytes + 1);
  InflateStream stream;
  z_stream& z = stream.z();
  z.next_in = const_cast<Bytef*>(deflate.data());  // inflate only reads its input
  z.avail_in = static_cast<uInt>(deflate.size());
  z.next_out = out.bytes.data();
  z.avail_out = static_cast<uInt>(out.bytes.size());
  const int rc = inflate(&z, Z_FINISH);
  if (rc == Z_MEM_ERROR) throw std::bad_alloc();
  if (rc == Z_DATA_ERROR) {
    Fail("gzip member", "deflate data", "valid deflate data",
         std::string(z.msg ? z.msg : "invalid data") + " after " + Dec(z.total_in) + " bytes", kDeflateStage);
  }
  if (z.avail_out == 0) Fail("picture", "pixel bytes", Dec(kPictureBytes), "more", kDeflateStage);
  if (rc != Z_STREAM_END) {
    Fail("gzip member", "deflate data", "a complete deflate stream",
         "its end missing after " + Dec(deflate.size()) + " bytes", kDeflateStage);
  }
  out.bytes.resize(z.total_out);
  out.consumed = z.total_in;
  return out;
}

void ExpectHeaderByte(Bytes member, size_t at, uint8_t value, std::string_view field) {
  if (member[at] != value)
    Fail("gzip member", field, HexBytes(Bytes(&value, 1)), HexBytes(member.subspan(at, 1)), kHeaderStage);
}

// The magic bytes have been found already; the rest of the fixed header.
void CheckHeader(Bytes member) {
  if (member.size() < gz::kHeaderSize) {
    Fail("gzip member", "header", Dec(gz::kHeaderSize) + " bytes", Dec(member.size()) + " bytes", kHeaderStage);
  }
  ExpectHeaderByte(member, gz::kFlags, gz::kFlagName, "flags");
  uint8_t time[4];
  PutLE32(time, gz::kFixedTime);
  if (GetLE32(&member[gz::kTime]) != gz::kFixedTime) {
    Fail("gzip member", "modification time", HexBytes(time), HexBytes(member.subspan(gz::kTime, 4)), kHeaderStage);
  }
  ExpectHeaderByte(member, gz::kExtraFlags, gz::kExtraFlagsValue, "extra flags");
  ExpectHeaderByte(member, gz::kOs, gz::kOsValue, "operating system");
}

// Returns where the deflate data starts, behind the name's zero byte.
size_t CheckStoredName(Bytes member) {
  const Bytes field = member.subspan(gz::kHeaderSize, std::min(kMaxNameField, member.size() - gz::kHeaderSize));
  const auto zero = std::find(field.begin(), field.end(), uint8_t{0});
  const std::string_view name(reinterpret_cast<const char*>(field.data()), static_cast<size_t>(zero - field.begin()));
  if (zero == field.end()) Fail("gzip member", "stored name", Quoted(kStoredName), "no end to it", kNameStage);
  if (name != kStoredName) Fail("gzip member", "stored name", Quoted(kStoredName), Quoted(name), kNameStage);
  return gz::kHeaderSize + name.size() + 1;
}

void CheckTrailer(Bytes trailer, const std::vector<uint8_t>& pixels) {
  if (trailer.size() != gz::kTrailerSize) {
    Fail("gzip member", "bytes behind the deflate data", Dec(gz::kTrailerSize) + " (the trailer)", Dec(trailer.size()),
         kTrailerStage);
  }
  const uint32_t crc = Crc32(0, pixels.data(), pixels.size());
  const uint32_t stored_crc = GetLE32(&trailer[gz::kTrailerCrc]);
  if (stored_crc != crc) Fail("gzip member", "trailer CRC-32", Hex32(crc), Hex32(stored_crc), kTrailerStage);
  const uint32_t stored_length = GetLE32(&trailer[gz::kTrailerLength]);
  if (stored_length != static_cast<uint32_t>(pixels.size())) {
    Fail("gzip member", "trailer length", Dec(pixels.size()), Dec(stored_length), kTrailerStage);
  }
}

std::vector<Rgb> ReadColorTable(Bytes table) {
  if (table.empty() || table.size() > kMaxColorTableSize || table.size() % kColorTableEntrySize != 0) {
    Fail("colour table", "size", "a multiple of 3 from 3 to 768 bytes", Dec(table.size()) + " bytes", kTableStage);
  }
  std::vector<Rgb> palette;
  for (size_t i = 0; i < table.size(); i += kColorTableEntrySize)
    palette.push_back({table[i], table[i + 1], table[i + 2]});
  return palette;
}

// The highest index of all. Blocks of a fixed size let the compiler take
// each block many bytes at a time.
uint8_t HighestIndex(Bytes pixels) {
  constexpr size_t kBlock = 64;
  uint8_t highest = 0;
  size_t at = 0;
  for (; at + kBlock <= pixels.size(); at += kBlock) {
    uint8_t block_highest = 0;
    for (size_t i = 0; i < kBlock; ++i) block_highest = std::max(block_highest, pixels[at + i]);
    highest = std::max(highest, block_highest);
  }
  for (; at < pixels.size(); ++at) highest = std::max(highest, pixels[at]);
  return highest;
}

void CheckIndexes(const std::vector<uint8_t>& pixels, size_t colors) {
  if (pixels.empty() || HighestIndex(pixels) < colors) return;
  const auto odd = std::find_if(pixels.begin(), pixels.end(), [colors](uint8_t index) { return index >= colors; });
  if (odd == pixels.end()) return;
  const auto at = static_cast<size_t>(odd - pixels.begin());
  const auto width = static_cast<size_t>(kPictureWidth);
  Fail("picture", "colour index at row " + Dec(at / width) + ", column " + Dec(at % width),
       "below " + Dec(colors) + " (the colour table's entries)", Dec(*odd), kIndexStage);
}

// Reads data as a colour table of table_size bytes and the member behind it.
WelcomeContent ReadAt(Bytes data, size_t table_size) {
  const Bytes member = data.subspan(table_size);
  CheckHeader(member);
  const size_t deflate_start = CheckStoredName(member);
  const Bytes deflate = member.subspan(deflate_start);
  Inflated pixels = Inflate(deflate);
  CheckTrailer(deflate.subspan(pixels.consumed), pixels.bytes);
  if (pixels.bytes.size() != kPictureBytes)
    Fail("picture", "pixel bytes", Dec(kPictureBytes), Dec(pixels.bytes.size()), kPixelStage);
  WelcomeContent content;
  content.picture.palette = ReadColorTable(data.first(table_size));
  const size_t colors = content.picture.palette.size();
  CheckIndexes(pixels.bytes, colors);
  content.picture.pixels = std::move(pixels.bytes);
  content.layers = {
      "colour table: " + Dec(colors) + " colours (" + Dec(table_size) + " bytes)",
      "gzip member: " + Dec(member.size()) + " bytes, stored name " + Quoted(kStoredName) + ", CRC-32 and length " +
          Dec(kPictureBytes) + " match",
      "picture: " + Dec(kPictureWidth) + " x " + Dec(kPictureHeight) + ", 8 bits, every colour index within the table",
  };
  return content;
}

bool HasMagicAt(Bytes data, size_t at) {
  return at + 3 <= data.size() && data[at + gz::kId1] == gz::kId1Value && data[at + gz::kId2] == gz::kId2Value &&
         data[at + gz::kMethod] == gz::kMethodDeflate;
}

WelcomeContent Decode(const Bytes& data) {
  std::optional<Fault> furthest;
  for (size_t table_size = 0; table_size <= kMaxColorTableSize; ++table_size) {
    if (!HasMagicAt(data, table_size)) continue;
    try {
      return ReadAt(data, table_size);
    } catch (const Fault& fault) {
      if (!furthest || fault.stage() > furthest->stage()) furthest = fault;
    }
  }
  if (furthest) throw *furthest;
  Fail("gzip member", "magic", "1F 8B 08 behind a colour table of at most 768 bytes", "none");
}

}  // namespace

std::shared_ptr<const WelcomeContent> ReadWelcomeData(Bytes data, WelcomeDecodeCache* cache) {
  if (cache) {
    if (auto known = cache->Find(data)) return known;
  }
  auto content = std::make_shared<const WelcomeContent>(Decode(data));
  if (cache) cache->Keep(data, content);
  return content;
}

}  // namespace inspect

WelcomeDecodeCache::Content WelcomeDecodeCache::Find(inspect::Bytes data) const {
  if (!content_ || !std::equal(data.begin(), data.end(), data_.begin(), data_.end())) return nullptr;
  return content_;
}

void WelcomeDecodeCache::Keep(inspect::Bytes data, Content content) {
  data_.assign(data.begin(), data.end());
  content_ = std::move(content);
}

}  // namespace kws
