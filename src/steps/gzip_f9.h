// TGzip: the gzip-file component behind the gzip step. It compresses one file
// into a single gzip member, written by format/gzip_member's writer, and
// reports how that went in its result codes.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include "format/gzip_member.h"

namespace kws {

class InputFile;

// The optional header fields a member can carry.
enum class THeaderField : uint8_t { filename, comment };

// A set of THeaderField values.
class THeader {
 public:
  constexpr THeader() = default;
  constexpr THeader(std::initializer_list<THeaderField> fields) {
    for (THeaderField f : fields) Include(f);
  }
  constexpr bool Contains(THeaderField f) const { return (bits_ & Bit(f)) != 0; }
  constexpr void Include(THeaderField f) { bits_ = static_cast<uint8_t>(bits_ | Bit(f)); }
  constexpr bool Empty() const { return bits_ == 0; }
  bool operator==(const THeader&) const = default;

 private:
  static constexpr uint8_t Bit(THeaderField f) { return static_cast<uint8_t>(1u << static_cast<unsigned>(f)); }
  uint8_t bits_ = 0;
};

// The deflate strategy: zlib's default, filtered and Huffman-only strategies.
enum class TCompressionType { Standard, Filtered, HuffmanOnly };

// Results of TGzip::Compress.
inline constexpr int kGzipOk = 0;
inline constexpr int kGzipSourceNotOpened = 1;  // missing, locked or unreadable
inline constexpr int kGzipDestinationNotCreated = 2;
inline constexpr int kGzipReadFailed = 101;   // a read of the source failed
inline constexpr int kGzipShortWrite = 102;   // the writer took fewer bytes than given
inline constexpr int kGzipCloseFailed = 103;  // finishing, trailer or closing failed

inline constexpr int kMinCompressionLevel = 1;
inline constexpr int kMaxCompressionLevel = 9;
inline constexpr int kMaxProgressStep = 100;

class TGzip {
 public:
  // Called with the component as sender.
  using TNotifyEvent = std::function<void(TGzip& sender)>;
  // Shows an error box with the given text and a single Abort button. The
  // window shows a real message box, the command line writes to stderr.
  using TErrorBox = std::function<void(const std::string& text)>;

  TGzip() = default;
  virtual ~TGzip() = default;
  TGzip(const TGzip&) = delete;
  TGzip& operator=(const TGzip&) = delete;

  THeader GzipHeader() const { return gzip_header_; }
  void SetGzipHeader(THeader value) { gzip_header_ = value; }
  bool DeleteSource() const { return delete_source_; }
  void SetDeleteSource(bool value) { delete_source_ = value; }
  const std::string& FileSource() const { return file_source_; }
  void SetFileSource(std::string value) { file_source_ = std::move(value); }
  const std::string& FileDestination() const { return file_destination_; }
  void SetFileDestination(std::string value) { file_destination_ = std::move(value); }
  const std::string& Comments() const { return comments_; }
  void SetComments(std::string value) { comments_ = std::move(value); }
  int CompressionLevel() const { return compression_level_; }
  // 1 to 9; anything else is "Range check error".
  void SetCompressionLevel(int value);
  TCompressionType CompressionType() const { return compression_type_; }
  void SetCompressionType(TCompressionType value) { compression_type_ = value; }
  bool WindowOnError() const { return window_on_error_; }
  void SetWindowOnError(bool value) { window_on_error_ = value; }
  int ProgressStep() const { return progress_step_; }
  // 0 to 100; anything else is "Range check error".
  void SetProgressStep(int value);
  const TNotifyEvent& OnProgress() const { return on_progress_; }
  void SetOnProgress(TNotifyEvent handler) { on_progress_ = std::move(handler); }
  // Where WindowOnError's box goes; with none set nothing is shown.
  void SetErrorBox(TErrorBox hook) { error_box_ = std::move(hook); }

  // The percentage last reported; 0 at the start of every compression.
  int Progress() const { return progress_; }

  // Compresses FileSource into FileDestination: kGzipOk or one of the
  // failure results above. Failures of the file layer outside those (writing
  // the header fields or the trailer, for instance) are thrown as FileError;
  // every file and the deflate stream are released on that path too.
  int Compress();

 protected:
  // Tells OnProgress, when it is assigned.
  virtual void DoProgress();

 private:
  uint8_t HeaderFlags() const;
  void ShowOpenError(const std::string& name) const;
  void WriteHeaderFields(GzipMemberWriter& writer) const;
  int CopyBlocks(InputFile& source, GzipMemberWriter& writer);
  void ReportProgress(uint64_t done, uint64_t total);

  THeader gzip_header_{THeaderField::filename};
  bool delete_source_ = false;
  std::string file_source_ = "data.dat";
  std::string file_destination_ = "data.dat.gz";
  std::string comments_;
  int compression_level_ = 6;
  TCompressionType compression_type_ = TCompressionType::Standard;
  bool window_on_error_ = false;
  int progress_step_ = 0;
  TNotifyEvent on_progress_;
  TErrorBox error_box_;
  int progress_ = 0;
};

}  // namespace kws
