// The file layer: the few file-system operations the steps need, with the
// platform's own failure texts (FileError, file_error.h). Those texts end up
// verbatim behind "Msg=" in the activity log, so they must read exactly as
// below.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_error.h"

namespace kws {

// The text a failure is logged with: a FileError's own text without its
// reason, else what(); and the reason kept out of the log (empty if none).
std::string LoggedText(const std::exception& e);
std::string ReasonOf(const std::exception& e);

// A size as the signed 32-bit count the headers hold, or "Range check error".
int32_t CheckedInt32(uint64_t value);

// The name as it may be shown in a log line, on a terminal or in a window:
// control characters (CR, LF, ESC, ...) are written as \r, \n, \x1b, so that a
// name can neither forge a line nor steer a terminal. Other bytes stay.
std::string PrintableName(const std::string& name);

// The system's reason for the last failure (errno): "Permission denied"; and
// the same after ": ", to follow a message.
std::string ReasonText(int error_number);
std::string ReasonSuffix(int error_number);

// Why an entry of this mode (st_mode) is not read or replaced as a file:
// "it is not a regular file but a named pipe" (a folder, a device, ...).
std::string NotRegularFileReason(unsigned mode);

// True for an existing entry that is not a folder.
bool FileExists(const std::string& name);
bool DirectoryExists(const std::string& path);
// Deletes a file; false when it was not there or could not be removed.
bool DeleteFile(const std::string& name);
// Creates a folder and any missing parents; true when it exists afterwards,
// else why not in *why when given.
bool ForceDirectories(const std::string& path, std::string* why = nullptr);

// A file descriptor that is closed on every way out unless released.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd();
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

namespace detail {
struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;
}  // namespace detail

// True when a and b name the same file: the same device and inode, or, for
// names that do not exist yet, the same path.
bool SameFile(const std::string& a, const std::string& b);

// A file opened for sequential reading; closed when it goes out of scope.
// Only regular files are opened: a named pipe, device, socket or folder is
// refused at once instead of blocking the reader.
class InputFile {
 public:
  // Throws "Cannot open file " + name + ": " + the reason.
  explicit InputFile(const std::string& name);

  uint64_t Size() const;
  uint64_t Position() const;
  void Seek(uint64_t position);
  // Reads exactly count bytes, or throws "Stream read error".
  void Read(void* buffer, size_t count);
  uint8_t ReadByte();
  // Reads up to count bytes; 0 only at the end of the file.
  size_t ReadSome(void* buffer, size_t count);
  // Reads up to out.size() bytes found at offset into out; fewer only at the
  // end of the file. A reading that follows offsets (a bitmap's header) reads
  // through this.
  size_t ReadAt(uint64_t offset, std::span<uint8_t> out);
  void Close();

 private:
  detail::FileHandle file_;
  std::string name_;
};

// A file created (or truncated) for sequential writing. Close() reports a
// failed flush; the destructor closes silently on error paths.
// A symbolic link at the name is replaced by the file, never written
// through; a folder there is refused; an existing device or named pipe is
// written into as it is, never replaced.
class OutputFile {
 public:
  // Throws "Cannot create file " + name + ": " + the reason.
  explicit OutputFile(const std::string& name);

  // Writes all count bytes, or throws "Stream write error".
  void Write(const void* buffer, size_t count);
  void WriteFill(uint8_t value, uint64_t count);
  // Flushes and closes; throws "Stream write error" when the data did not all
  // reach the file.
  void Close();

 private:
  detail::FileHandle file_;
};

// Copies count bytes from the input's position to the output; a shorter
// input is "Stream read error".
void CopyBytes(InputFile& from, OutputFile& to, uint64_t count);

// Who owns a regular file and its permission bits, so that a file replaced
// under that name can be given them back: replaced by root, a user's file
// stays the user's.
struct FileOwnership {
  unsigned uid = 0, gid = 0, mode = 0;
};
std::optional<FileOwnership> OwnershipOf(const std::string& name);
// Gives the regular file now at name the owner, group and permission bits
// that were taken of the one before it. Best effort: a user
// who may not give a file away keeps it.
void KeepOwnership(const std::string& name, const FileOwnership& was);

// The current working directory, and changing it; the latter throws a
// FileError with the system's reason.
std::string GetCurrentDir();
void SetCurrentDir(const std::string& path);

}  // namespace kws

namespace kws {

// Reads a whole regular file of at most max_size bytes. Throws "Cannot open
// file ..." (with the reason; a file that is not regular or is larger than
// max_size is refused) or "Stream read error".
std::vector<uint8_t> ReadWholeFile(const std::string& name, uint64_t max_size);

// Temporary files beside a final name begin with this; a run that holds the
// working folders' lock removes those left behind by an interrupted one.
inline constexpr const char* kTemporaryPrefix = ".kws-partial-";

// Removes the temporary files of ours left in folder by an interrupted run
// (and those of the older "NAME.partial-XXXXXX" form). Returns how many.
int RemoveStaleTemporaries(const std::string& folder);

// Copies source to destination so that destination is either its old self or
// a complete copy, never a part: the bytes go to a temporary file beside it,
// which is renamed into place. An existing regular destination keeps its
// permission bits; a link at the destination is replaced, never followed; a
// destination that is not a regular file (a folder, pipe, device) is
// refused. Throws a FileError with the reason.
// When a check is given, it reads the finished temporary file (by the path it
// is passed) before the rename; a fault it returns is thrown as a
// ContentFault and the destination is left as it was.
using ContentCheck = std::function<std::string(const std::string& written)>;
void CopyFileReplacing(const std::string& source, const std::string& destination, const ContentCheck& check = {});

// The same for bytes in memory: destination is either its old self or holds
// exactly these bytes, read back by the check before they take its name.
void ReplaceFileWith(const std::string& destination, std::span<const uint8_t> bytes, const ContentCheck& check = {});

// A copy whose content did not pass its check; what() is the check's fault.
class ContentFault : public FileError {
 public:
  using FileError::FileError;
};
// Why a file the user named is written: what each writer makes. A file
// written for a purpose carries a mark saying so (see WriteFileReplacing), by
// which the same writer knows it again as its own.
enum class MadeFor { kImport, kPreview, kSample, kTestCard, kExtract };

// What a purpose makes, as a refusal names it: "a bitmap an import made".
std::string MadeByText(MadeFor purpose);

// The mark of a file written for purpose: the extended attribute
// "user.kestro-welcome.made" holds the purpose, the file's size and its
// CRC-32, so that a file changed since it was written is not taken for ours.
// True when the file at name carries the mark of purpose and still holds the
// bytes it was written with. False wherever the file system keeps no such
// attributes (then nothing is ever taken for ours).
bool CarriesMadeMark(const std::string& name, MadeFor purpose);

// Writes bytes to a destination the user named, the same way: complete or not
// at all. A regular file (or a link, which is replaced, never followed) gets
// the new bytes by rename, marked as written for made_for when one is given.
// A destination that exists and is not a regular file, such as /dev/stdout,
// /dev/null, a pipe or a terminal, is written into directly and never renamed
// over; a folder is refused. Whether the destination may be replaced at all is
// for CheckDestination (fileio/destination.h) to say, before.
void WriteFileReplacing(const std::string& destination, const std::vector<uint8_t>& bytes,
                        std::optional<MadeFor> made_for = std::nullopt);

}  // namespace kws
