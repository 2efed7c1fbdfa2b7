// The gzip step and its component: the file around one gzip member. The
// member's bytes are format/gzip_member's; here are the files, progress and
// the component's result codes.
#include "steps/gzip_f9.h"

#include <cmath>
#include <optional>
#include <vector>

#include "fileio/file.h"
#include "steps/step_result.h"
#include "steps/steps.h"

namespace kws {

namespace {

constexpr char kFolderSeparator = '/';

// The file-name part of a path: what follows its last folder separator.
std::string BareFileName(const std::string& path) {
  const size_t slash = path.find_last_of(kFolderSeparator);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

DeflateStrategy StrategyOf(TCompressionType type) {
  switch (type) {
    case TCompressionType::Filtered:
      return DeflateStrategy::kFiltered;
    case TCompressionType::HuffmanOnly:
      return DeflateStrategy::kHuffmanOnly;
    case TCompressionType::Standard:
      break;
  }
  return DeflateStrategy::kDefault;
}

// Nearest integer, a half going to the even neighbour; independent of the
// floating-point rounding mode.
int RoundHalfEven(double value) {
  const double below = std::floor(value);
  const double fraction = value - below;
  const bool up = fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0);
  return static_cast<int>(up ? below + 1.0 : below);
}

std::optional<InputFile> OpenForReading(const std::string& name) {
  std::optional<InputFile> file;
  try {
    file.emplace(name);
  } catch (const FileError&) {
  }
  return file;
}

std::optional<OutputFile> CreateForWriting(const std::string& name) {
  std::optional<OutputFile> file;
  try {
    file.emplace(name);
  } catch (const FileError&) {
  }
  return file;
}

class FileSink : public GzipSink {
 public:
  explicit FileSink(OutputFile& file) : file_(file) {}
  void Write(std::span<const uint8_t> bytes) override { file_.Write(bytes.data(), bytes.size()); }

 private:
  OutputFile& file_;
};

// Finishes the member and closes its file; false when either fails. Deflate
// data cut short by a failed write cannot be finished, so such a member never
// closes cleanly. A trailer that cannot be written is thrown, like a header.
bool FinishAndClose(GzipMemberWriter& writer, OutputFile& file, bool data_whole) {
  bool finished = false;
  if (data_whole) {
    try {
      writer.FinishData();
      finished = true;
    } catch (const FileError&) {
    }
  }
  if (finished) writer.WriteTrailer();
  try {
    file.Close();
  } catch (const FileError&) {
    return false;
  }
  return finished;
}

}  // namespace

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

uint8_t TGzip::HeaderFlags() const {
  uint8_t flags = 0;
  if (gzip_header_.Contains(THeaderField::filename)) flags |= gz::kFlagName;
  if (gzip_header_.Contains(THeaderField::comment)) flags |= gz::kFlagComment;
  return flags;
}

void TGzip::WriteHeaderFields(GzipMemberWriter& writer) const {
  if (gzip_header_.Contains(THeaderField::filename)) writer.WriteField(BareFileName(file_source_));
  if (gzip_header_.Contains(THeaderField::comment)) writer.WriteField(comments_);
}

void TGzip::ReportProgress(uint64_t done, uint64_t total) {
  // A source that grew since its size was taken counts as complete.
  const double percent = total == 0 ? 100.0 : static_cast<double>(done) / static_cast<double>(total) * 100.0;
  if (progress_step_ + progress_ <= percent || done >= total) {
    progress_ = RoundHalfEven(percent);
    DoProgress();
  }
}

int TGzip::CopyBlocks(InputFile& source, GzipMemberWriter& writer) {
  progress_ = 0;
  const uint64_t total = source.Size();
  if (progress_step_ > 0) DoProgress();
  std::vector<uint8_t> block(gz::kBlockSize);
  uint64_t done = 0;
  for (;;) {
    size_t got = 0;
    try {
      got = source.ReadSome(block.data(), block.size());
    } catch (const FileError&) {
      return kGzipReadFailed;
    }
    if (got == 0) return kGzipOk;
    try {
      writer.Write({block.data(), got});
    } catch (const FileError&) {
      return kGzipShortWrite;
    }
    done += got;
    if (progress_step_ > 0) ReportProgress(done, total);
  }
}

int TGzip::Compress() {
  // Read access is all the source needs, so a read-only source compresses.
  std::optional<InputFile> source = OpenForReading(file_source_);
  if (!source) {
    ShowOpenError(file_source_);
    return kGzipSourceNotOpened;
  }
  std::optional<OutputFile> destination = CreateForWriting(file_destination_);
  if (!destination) {
    ShowOpenError(file_destination_);
    return kGzipDestinationNotCreated;
  }
  FileSink sink(*destination);
  GzipMemberWriter writer(sink, compression_level_, StrategyOf(compression_type_), HeaderFlags());
  WriteHeaderFields(writer);
  int result = CopyBlocks(*source, writer);
  source->Close();
  if (!FinishAndClose(writer, *destination, result != kGzipShortWrite)) result = kGzipCloseFailed;
  if (result != kGzipOk) return result;
  if (delete_source_) DeleteFile(file_source_);
  return kGzipOk;
}

int32_t gzip_f9(const std::string& source, const std::string& destination) {
  if (const int32_t refused = RefuseSharedFiles("GZIP_f9", {&source}, {&destination})) return refused;
  return RunStep("GZIP_f9", [&]() -> int32_t {
    if (FileExists(destination)) DeleteFile(destination);
    TGzip gzip;
    // Level 6, not 9, although the step's name ends in f9.
    gzip.SetCompressionLevel(gz::kPipelineLevel);
    gzip.SetCompressionType(TCompressionType::Standard);
    gzip.SetFileSource(source);
    gzip.SetFileDestination(destination);
    return gzip.Compress();
  });
}

int32_t in_memory::gzip_f9(const std::string& source, ByteView data, Bytes& member) {
  return RunStep("GZIP_f9", [&]() -> int32_t {
    GzipMember(BareFileName(source), data, member);
    return kStepOk;
  });
}

}  // namespace kws
