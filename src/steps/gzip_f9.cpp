// The gzip step and its component: one gzip member (RFC 1952) whose header,
// name field and trailer are written here, around zlib's raw deflate data.
#include "steps/gzip_f9.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "fileio/file.h"
#include "steps/be_fields.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

// Source blocks and the compressed-output buffer: memory use does not grow
// with the file.
constexpr size_t kBlockSize = 16384;
constexpr int kMemLevel = 8;

constexpr char kFolderSeparator = '/';

// The file-name part of a path: what follows its last folder separator.
std::string BareFileName(const std::string& path) {
  const size_t slash = path.find_last_of(kFolderSeparator);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int ZlibStrategy(TCompressionType type) {
  switch (type) {
    case TCompressionType::Filtered:
      return Z_FILTERED;
    case TCompressionType::HuffmanOnly:
      return Z_HUFFMAN_ONLY;
    case TCompressionType::Standard:
      break;
  }
  return Z_DEFAULT_STRATEGY;
}

// Nearest integer, a half going to the even neighbour; independent of the
// floating-point rounding mode.
int RoundHalfEven(double value) {
  const double below = std::floor(value);
  const double fraction = value - below;
  const bool up = fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0);
  return static_cast<int>(up ? below + 1.0 : below);
}

// The component as the gzip step sets it up; everything else keeps its default.
void SetUpForGzipStep(TGzip& gzip, const std::string& source) {
  // Level 6, not 9, although the step's name ends in f9.
  gzip.SetCompressionLevel(6);
  gzip.SetCompressionType(TCompressionType::Standard);
  gzip.SetFileSource(source);
}

std::optional<InputFile> OpenForReading(const std::string& name) {
  std::optional<InputFile> file;
  try {
    file.emplace(name);
  } catch (const FileError&) {
  }
  return file;
}

// Where a member's bytes go: its file, or memory when only the member's bytes
// are wanted. Write stores all bytes or throws FileError; so does Close.
class MemberSink {
 public:
  virtual ~MemberSink() = default;
  virtual void Write(const void* bytes, size_t count) = 0;
  virtual void Close() = 0;
};

class FileSink : public MemberSink {
 public:
  // Throws "Cannot create file " + path.
  explicit FileSink(const std::string& path) : file_(path) {}
  void Write(const void* bytes, size_t count) override { file_.Write(bytes, count); }
  void Close() override { file_.Close(); }

 private:
  OutputFile file_;
};

class MemorySink : public MemberSink {
 public:
  explicit MemorySink(std::vector<uint8_t>& out) : out_(out) {}
  void Write(const void* bytes, size_t count) override {
    const auto* b = static_cast<const uint8_t*>(bytes);
    out_.insert(out_.end(), b, b + count);
  }
  void Close() override {}

 private:
  std::vector<uint8_t>& out_;
};

// The deflate stream, ended on every way out. It never moves: zlib keeps a
// pointer back to it.
class DeflateStream {
 public:
  DeflateStream() = default;
  DeflateStream(const DeflateStream&) = delete;
  DeflateStream& operator=(const DeflateStream&) = delete;
  ~DeflateStream() { End(); }

  bool Init(int level, int strategy) {
    live_ = deflateInit2(&z_, level, Z_DEFLATED, gz::kRawDeflateWindowBits, kMemLevel, strategy) == Z_OK;
    return live_;
  }
  // Z_OK, or deflateEnd's complaint (Z_DATA_ERROR for an unfinished stream).
  int End() {
    if (!live_) return Z_OK;
    live_ = false;
    return deflateEnd(&z_);
  }
  z_stream& z() { return z_; }

 private:
  z_stream z_{};
  bool live_ = false;
};

}  // namespace

namespace detail {

struct GzipSettings {
  int level;
  int strategy;
  uint8_t flags;
};

// One open gzip member: its destination, the deflate stream, its output
// buffer and the running CRC-32. Whatever is open is released when it goes
// out of scope, so a failure thrown half-way leaks nothing.
class GzipWriter {
 public:
  // Null when the path is empty, the stream cannot be set up or the file
  // cannot be created. Writing the header may throw FileError.
  static std::unique_ptr<GzipWriter> Open(const std::string& path, const GzipSettings& settings);
  // The same member appended to out; null when the stream cannot be set up.
  static std::unique_ptr<GzipWriter> OpenInMemory(std::vector<uint8_t>& out, const GzipSettings& settings);

  GzipWriter(const GzipWriter&) = delete;
  GzipWriter& operator=(const GzipWriter&) = delete;

  // Writes text and a zero byte straight into the file (name, comment).
  void WriteField(const std::string& text);
  // Returns how many of the count bytes deflate consumed.
  size_t Write(const uint8_t* bytes, size_t count);
  // Finishes the deflate data and writes the trailer; 0 on success. The file
  // and the stream are released either way.
  int Close();

 private:
  static constexpr int kShortWrite = -1;

  GzipWriter() = default;
  // Sets up the deflate stream and its buffer; false when that fails.
  bool InitStream(const GzipSettings& settings);
  bool CreateFile(const std::string& path);
  void WriteHeader(uint8_t flags);
  size_t Pending() { return buffer_.size() - stream_.z().avail_out; }
  bool FlushBuffer();
  bool Finish();
  void WriteTrailer();
  bool CloseFile();

  DeflateStream stream_;
  std::unique_ptr<MemberSink> sink_;
  std::vector<uint8_t> buffer_;
  uint32_t crc_ = 0;
  int error_ = 0;  // 0, kShortWrite, or the code of a failed deflate call
};

std::unique_ptr<GzipWriter> GzipWriter::Open(const std::string& path, const GzipSettings& settings) {
  if (path.empty()) return nullptr;
  std::unique_ptr<GzipWriter> writer(new GzipWriter());
  if (!writer->InitStream(settings)) return nullptr;
  if (!writer->CreateFile(path)) return nullptr;
  writer->WriteHeader(settings.flags);
  return writer;
}

std::unique_ptr<GzipWriter> GzipWriter::OpenInMemory(std::vector<uint8_t>& out, const GzipSettings& settings) {
  std::unique_ptr<GzipWriter> writer(new GzipWriter());
  if (!writer->InitStream(settings)) return nullptr;
  writer->sink_ = std::make_unique<MemorySink>(out);
  writer->WriteHeader(settings.flags);
  return writer;
}

bool GzipWriter::InitStream(const GzipSettings& settings) {
  if (!stream_.Init(settings.level, settings.strategy)) return false;
  buffer_.resize(kBlockSize);
  z_stream& z = stream_.z();
  z.next_out = buffer_.data();
  z.avail_out = static_cast<uInt>(buffer_.size());
  return true;
}

bool GzipWriter::CreateFile(const std::string& path) {
  try {
    sink_ = std::make_unique<FileSink>(path);
    return true;
  } catch (const FileError&) {
    return false;
  }
}

void GzipWriter::WriteHeader(uint8_t flags) {
  std::array<uint8_t, gz::kHeaderSize> header{};
  header[gz::kId1] = gz::kId1Value;
  header[gz::kId2] = gz::kId2Value;
  header[gz::kMethod] = gz::kMethodDeflate;
  header[gz::kFlags] = flags;
  PutLE32(&header[gz::kTime], gz::kFixedTime);
  header[gz::kExtraFlags] = gz::kExtraFlagsValue;
  header[gz::kOs] = gz::kOsValue;
  sink_->Write(header.data(), header.size());
}

void GzipWriter::WriteField(const std::string& text) {
  const uint8_t terminator = 0;
  sink_->Write(text.data(), text.size());
  sink_->Write(&terminator, 1);
}

size_t GzipWriter::Write(const uint8_t* bytes, size_t count) {
  if (count > std::numeric_limits<uInt>::max()) ThrowRangeCheck();
  z_stream& z = stream_.z();
  z.next_in = const_cast<Bytef*>(bytes);  // deflate only reads its input
  z.avail_in = static_cast<uInt>(count);
  while (z.avail_in != 0) {
    if (z.avail_out == 0 && !FlushBuffer()) break;
    const int rc = deflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK) {
      error_ = rc;
      break;
    }
  }
  crc_ = static_cast<uint32_t>(crc32_z(crc_, bytes, count));
  return count - z.avail_in;
}

// Writes out what deflate left in the buffer and frees the whole buffer. The
// file layer reports a write that did not all reach the file as a failure.
bool GzipWriter::FlushBuffer() {
  const size_t pending = Pending();
  if (pending != 0) {
    try {
      sink_->Write(buffer_.data(), pending);
    } catch (const FileError&) {
      error_ = kShortWrite;
      return false;
    }
  }
  z_stream& z = stream_.z();
  z.next_out = buffer_.data();
  z.avail_out = static_cast<uInt>(buffer_.size());
  return true;
}

bool GzipWriter::Finish() {
  z_stream& z = stream_.z();
  for (;;) {
    const bool had_output = Pending() != 0;
    if (!FlushBuffer()) return false;
    const int rc = deflate(&z, Z_FINISH);
    if (rc == Z_STREAM_END) return FlushBuffer();
    // No progress with nothing left in the buffer: there is nothing to finish.
    if (rc == Z_BUF_ERROR && !had_output) return true;
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      error_ = rc;
      return false;
    }
  }
}

void GzipWriter::WriteTrailer() {
  std::array<uint8_t, gz::kTrailerSize> trailer{};
  PutLE32(&trailer[gz::kTrailerCrc], crc_);
  PutLE32(&trailer[gz::kTrailerLength], static_cast<uint32_t>(stream_.z().total_in));
  sink_->Write(trailer.data(), trailer.size());
}

bool GzipWriter::CloseFile() {
  try {
    sink_->Close();
    return true;
  } catch (const FileError&) {
    return false;
  }
}

int GzipWriter::Close() {
  // After a failed write the deflate data is broken already; finishing it
  // would only lengthen a damaged file.
  const bool finished = error_ == 0 && Finish();
  if (finished) WriteTrailer();
  const bool ended = stream_.End() == Z_OK;
  const bool closed = CloseFile();
  sink_.reset();
  buffer_ = {};
  return finished && ended && closed && error_ >= 0 ? 0 : -1;
}

}  // namespace detail

void TGzip::SetCompressionLevel(int value) {
  if (value < kMinCompressionLevel || value > kMaxCompressionLevel) ThrowRangeCheck();
  compression_level_ = value;
}

void TGzip::SetProgressStep(int value) {
  if (value < 0 || value > kMaxProgressStep) ThrowRangeCheck();
  progress_step_ = value;
}

void TGzip::DoProgress() {
  if (on_progress_) on_progress_(*this);
}

void TGzip::ShowOpenError(const std::string& name) const {
  if (window_on_error_ && error_box_) error_box_("Can't open: " + name);
}

void TGzip::WriteHeaderFields(detail::GzipWriter& writer) const {
  if (gzip_header_.Contains(THeaderField::filename)) writer.WriteField(BareFileName(file_source_));
  if (gzip_header_.Contains(THeaderField::comment)) writer.WriteField(comments_);
}

void TGzip::ReportProgress(uint64_t done, uint64_t total) {
  // A source that grew since its size was taken counts as complete.
  const double percent =
      total == 0 ? 100.0 : static_cast<double>(done) / static_cast<double>(total) * 100.0;
  if (progress_step_ + progress_ <= percent || done >= total) {
    progress_ = RoundHalfEven(percent);
    DoProgress();
  }
}

int TGzip::CopyBlocks(InputFile& source, detail::GzipWriter& writer) {
  progress_ = 0;
  const uint64_t total = source.Size();
  if (progress_step_ > 0) DoProgress();
  std::vector<uint8_t> block(kBlockSize);
  uint64_t done = 0;
  for (;;) {
    size_t got = 0;
    try {
      got = source.ReadSome(block.data(), block.size());
    } catch (const FileError&) {
      return kGzipReadFailed;
    }
    if (got == 0) return kGzipOk;
    if (writer.Write(block.data(), got) != got) return kGzipShortWrite;
    done += got;
    if (progress_step_ > 0) ReportProgress(done, total);
  }
}

detail::GzipSettings TGzip::WriterSettings() const {
  uint8_t flags = 0;
  if (gzip_header_.Contains(THeaderField::filename)) flags |= gz::kFlagName;
  if (gzip_header_.Contains(THeaderField::comment)) flags |= gz::kFlagComment;
  return {compression_level_, ZlibStrategy(compression_type_), flags};
}

int TGzip::Compress() {
  // Read access is all the source needs, so a read-only source compresses.
  std::optional<InputFile> source = OpenForReading(file_source_);
  if (!source) {
    ShowOpenError(file_source_);
    return kGzipSourceNotOpened;
  }
  std::unique_ptr<detail::GzipWriter> writer = detail::GzipWriter::Open(file_destination_, WriterSettings());
  if (!writer) {
    ShowOpenError(file_destination_);
    return kGzipDestinationNotCreated;
  }
  WriteHeaderFields(*writer);
  int result = CopyBlocks(*source, *writer);
  source->Close();
  if (writer->Close() != 0) result = kGzipCloseFailed;
  if (result != kGzipOk) return result;
  if (delete_source_) DeleteFile(file_source_);
  return kGzipOk;
}

std::vector<uint8_t> TGzip::CompressBytes(const uint8_t* data, size_t size) const {
  std::vector<uint8_t> member;
  std::unique_ptr<detail::GzipWriter> writer = detail::GzipWriter::OpenInMemory(member, WriterSettings());
  if (!writer) throw std::bad_alloc();
  WriteHeaderFields(*writer);
  // The same blocks as from a file, so that deflate sees the same calls.
  for (size_t done = 0; done < size; done += kBlockSize) {
    const size_t count = std::min(kBlockSize, size - done);
    if (writer->Write(data + done, count) != count) throw FileError(kStreamWriteError);
  }
  if (writer->Close() != 0) throw FileError(kStreamWriteError);
  return member;
}

int32_t gzip_f9(const std::string& source, const std::string& destination) {
  if (const int32_t refused = RefuseSharedFiles("GZIP_f9", {&source}, {&destination})) return refused;
  return RunStep("GZIP_f9", [&]() -> int32_t {
    if (FileExists(destination)) DeleteFile(destination);
    TGzip gzip;
    SetUpForGzipStep(gzip, source);
    gzip.SetFileDestination(destination);
    return gzip.Compress();
  });
}

std::vector<uint8_t> GzipF9Member(const std::string& source, const uint8_t* data, size_t size) {
  TGzip gzip;
  SetUpForGzipStep(gzip, source);
  return gzip.CompressBytes(data, size);
}

}  // namespace kws
