// One gzip member (RFC 1952): the fixed header, the optional name and
// comment fields, zlib's raw deflate data and the trailer, written here
// around deflate. The header never changes with the time or the machine, so
// the same data always gives the same bytes, and the receivers' image CRCs
// with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace kws {

// The member's fixed 10-byte header, numbers little-endian; the inspector
// reads members back against the same layout.
namespace gz {
inline constexpr size_t kId1 = 0;     // 1F
inline constexpr size_t kId2 = 1;     // 8B
inline constexpr size_t kMethod = 2;  // 08, deflate
inline constexpr size_t kFlags = 3;
inline constexpr size_t kTime = 4;  // 4 bytes
inline constexpr size_t kExtraFlags = 8;
inline constexpr size_t kOs = 9;
inline constexpr size_t kHeaderSize = 10;
// The trailer: CRC-32 of the uncompressed data, then its length modulo 2^32.
inline constexpr size_t kTrailerCrc = 0;
inline constexpr size_t kTrailerLength = 4;
inline constexpr size_t kTrailerSize = 8;

inline constexpr uint8_t kId1Value = 0x1F;
inline constexpr uint8_t kId2Value = 0x8B;
inline constexpr uint8_t kMethodDeflate = 0x08;
inline constexpr uint8_t kFlagName = 0x08;
inline constexpr uint8_t kFlagComment = 0x10;
// The time stamp never follows the clock or the file: 2006-02-09 19:33:30
// UTC, bytes 0A 99 EB 43. Identical sources thus give identical images.
inline constexpr uint32_t kFixedTime = 1139513610;
// Extra flags and operating system are fixed too, whatever the level and
// whatever the machine (3 is Unix in RFC 1952's list).
inline constexpr uint8_t kExtraFlagsValue = 0x02;
inline constexpr uint8_t kOsValue = 0x03;

// zlib's window bits for raw deflate data: 32 KiB window, no zlib wrapper.
inline constexpr int kRawDeflateWindowBits = -15;

// The level and strategy of the pipeline's member.
inline constexpr int kPipelineLevel = 6;  // not 9, although the gzip step's name ends in f9

// Data goes to deflate in blocks of this size, from a file or from memory
// alike, and deflate's output is passed on in blocks of the same size.
inline constexpr size_t kBlockSize = 16384;
}  // namespace gz

// zlib's default, filtered and Huffman-only strategies.
enum class DeflateStrategy { kDefault, kFiltered, kHuffmanOnly };

// Where a member's bytes go: a file, or memory. Write stores all bytes or
// throws.
class GzipSink {
 public:
  virtual ~GzipSink() = default;
  virtual void Write(std::span<const uint8_t> bytes) = 0;
};

// One member being written. Whatever it holds is released when it goes out
// of scope, so a failure thrown half-way leaks nothing.
class GzipMemberWriter {
 public:
  // Sets up deflate and writes the fixed header with these flags (kFlagName,
  // kFlagComment for the fields that follow). std::bad_alloc when deflate
  // cannot be set up.
  GzipMemberWriter(GzipSink& sink, int level, DeflateStrategy strategy, uint8_t flags);
  ~GzipMemberWriter();
  GzipMemberWriter(const GzipMemberWriter&) = delete;
  GzipMemberWriter& operator=(const GzipMemberWriter&) = delete;

  // A name or comment field: the text and its zero byte, written straight
  // through.
  void WriteField(std::string_view text);
  // Deflates the bytes. A failure of the sink is thrown as it is; a failure
  // of deflate as "Stream write error".
  void Write(std::span<const uint8_t> bytes);
  // Ends the deflate data and passes on the rest of it; failures as Write's.
  void FinishData();
  // The trailer: the CRC-32 and the length of everything Write took.
  void WriteTrailer();

 private:
  struct Deflate;
  void FlushBuffer();

  GzipSink& sink_;
  std::unique_ptr<Deflate> deflate_;
  std::vector<uint8_t> buffer_;
  uint32_t crc_ = 0;
};

// The member the pipeline makes of data stored under the name: level 6, the
// default strategy, the name field only; fed to deflate in the same blocks
// as the gzip step feeds a file's. member keeps its memory.
void GzipMember(std::string_view stored_name, std::span<const uint8_t> data, std::vector<uint8_t>& member);
std::vector<uint8_t> GzipMember(std::string_view stored_name, std::span<const uint8_t> data);

}  // namespace kws
