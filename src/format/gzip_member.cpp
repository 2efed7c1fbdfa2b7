#include "format/gzip_member.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>
#include <new>

#include "file_error.h"
#include "format/byte_order.h"
#include "format/image_crc.h"

namespace kws {

namespace {

constexpr int kMemLevel = 8;

int ZlibStrategy(DeflateStrategy strategy) {
  switch (strategy) {
    case DeflateStrategy::kFiltered:
      return Z_FILTERED;
    case DeflateStrategy::kHuffmanOnly:
      return Z_HUFFMAN_ONLY;
    case DeflateStrategy::kDefault:
      break;
  }
  return Z_DEFAULT_STRATEGY;
}

class MemorySink : public GzipSink {
 public:
  explicit MemorySink(std::vector<uint8_t>& out) : out_(out) {}
  void Write(std::span<const uint8_t> bytes) override { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

 private:
  std::vector<uint8_t>& out_;
};

}  // namespace

// The deflate stream, ended on every way out. It never moves: zlib keeps a
// pointer back to it.
struct GzipMemberWriter::Deflate {
  Deflate(int level, DeflateStrategy strategy) {
    if (deflateInit2(&z, level, Z_DEFLATED, gz::kRawDeflateWindowBits, kMemLevel, ZlibStrategy(strategy)) != Z_OK) {
      throw std::bad_alloc();
    }
  }
  ~Deflate() { deflateEnd(&z); }
  Deflate(const Deflate&) = delete;
  Deflate& operator=(const Deflate&) = delete;

  z_stream z{};
};

GzipMemberWriter::GzipMemberWriter(GzipSink& sink, int level, DeflateStrategy strategy, uint8_t flags)
    : sink_(sink), deflate_(std::make_unique<Deflate>(level, strategy)), buffer_(gz::kBlockSize) {
  z_stream& z = deflate_->z;
  z.next_out = buffer_.data();
  z.avail_out = static_cast<uInt>(buffer_.size());

  std::array<uint8_t, gz::kHeaderSize> header{};
  header[gz::kId1] = gz::kId1Value;
  header[gz::kId2] = gz::kId2Value;
  header[gz::kMethod] = gz::kMethodDeflate;
  header[gz::kFlags] = flags;
  PutLE32(&header[gz::kTime], gz::kFixedTime);
  header[gz::kExtraFlags] = gz::kExtraFlagsValue;
  header[gz::kOs] = gz::kOsValue;
  sink_.Write(header);
}

GzipMemberWriter::~GzipMemberWriter() = default;

void GzipMemberWriter::WriteField(std::string_view text) {
  static constexpr uint8_t kTerminator = 0;
  sink_.Write({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  sink_.Write({&kTerminator, 1});
}

// Passes on what deflate left in the buffer and frees the whole buffer.
void GzipMemberWriter::FlushBuffer() {
  z_stream& z = deflate_->z;
  const size_t pending = buffer_.size() - z.avail_out;
  if (pending != 0) sink_.Write({buffer_.data(), pending});
  z.next_out = buffer_.data();
  z.avail_out = static_cast<uInt>(buffer_.size());
}

void GzipMemberWriter::Write(std::span<const uint8_t> bytes) {
  z_stream& z = deflate_->z;
  // zlib counts input in 32-bit units.
  constexpr size_t kMaxPiece = std::numeric_limits<uInt>::max();
  for (size_t done = 0; done < bytes.size();) {
    const size_t piece = std::min(kMaxPiece, bytes.size() - done);
    z.next_in = const_cast<Bytef*>(bytes.data() + done);  // deflate only reads its input
    z.avail_in = static_cast<uInt>(piece);
    while (z.avail_in != 0) {
      if (z.avail_out == 0) FlushBuffer();
      if (deflate(&z, Z_NO_FLUSH) != Z_OK) throw FileError(kStreamWriteError);
    }
    done += piece;
  }
  crc_ = Crc32(crc_, bytes.data(), bytes.size());
}

void GzipMemberWriter::FinishData() {
  z_stream& z = deflate_->z;
  for (;;) {
    const bool had_output = z.avail_out != buffer_.size();
    FlushBuffer();
    const int rc = deflate(&z, Z_FINISH);
    if (rc == Z_STREAM_END) {
      FlushBuffer();
      return;
    }
    // Without progress there is nothing more deflate can finish.
    if ((rc == Z_BUF_ERROR && !had_output) || (rc != Z_OK && rc != Z_BUF_ERROR)) throw FileError(kStreamWriteError);
  }
}

void GzipMemberWriter::WriteTrailer() {
  std::array<uint8_t, gz::kTrailerSize> trailer{};
  PutLE32(&trailer[gz::kTrailerCrc], crc_);
  PutLE32(&trailer[gz::kTrailerLength], static_cast<uint32_t>(deflate_->z.total_in));
  sink_.Write(trailer);
}

void GzipMember(std::string_view stored_name, std::span<const uint8_t> data, std::vector<uint8_t>& member) {
  member.clear();
  MemorySink sink(member);
  GzipMemberWriter writer(sink, gz::kPipelineLevel, DeflateStrategy::kDefault, gz::kFlagName);
  writer.WriteField(stored_name);
  for (size_t done = 0; done < data.size(); done += gz::kBlockSize) {
    writer.Write(data.subspan(done, std::min(gz::kBlockSize, data.size() - done)));
  }
  writer.FinishData();
  writer.WriteTrailer();
}

std::vector<uint8_t> GzipMember(std::string_view stored_name, std::span<const uint8_t> data) {
  std::vector<uint8_t> member;
  GzipMember(stored_name, data, member);
  return member;
}

}  // namespace kws
