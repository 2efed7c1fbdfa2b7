#include "fileio/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

// Emscripten declares the attribute calls but its file systems have none.
#if __has_include(<sys/xattr.h>) && !defined(__EMSCRIPTEN__)
#include <sys/xattr.h>
#define KWS_HAVE_XATTR 1
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

namespace kws {

namespace {

constexpr size_t kStreamBufferSize = 64 * 1024;

bool StatPath(const std::string& name, struct stat& st) { return !name.empty() && ::stat(name.c_str(), &st) == 0; }

// The platform's wording, and why apart from it.
FileError CannotOpen(const std::string& name, const std::string& why) {
  return FileError("Cannot open file " + PrintableName(name), why);
}
FileError CannotCreate(const std::string& name, const std::string& why) {
  return FileError("Cannot create file " + PrintableName(name), why);
}
std::string NotRegular(unsigned mode) { return NotRegularFileReason(mode); }
// A write that did not reach the file; errno says why when the system set it
// (a full disk: "No space left on device").
FileError WriteFailed(int error_number) {
  return FileError(kStreamWriteError, error_number != 0 ? ReasonText(error_number) : std::string());
}

void WriteAll(std::FILE* file, const void* bytes, size_t count) {
  errno = 0;
  if (std::fwrite(bytes, 1, count, file) != count) throw WriteFailed(errno);
}

// Flushes and closes a written stream; data that did not all reach the file
// is "Stream write error", with the system's reason.
void CloseWritten(detail::FileHandle& file) {
  const bool flushed = std::fflush(file.get()) == 0;
  const int flush_error = flushed ? 0 : errno;
  errno = 0;
  const bool closed = std::fclose(file.release()) == 0;
  if (!flushed || !closed) throw WriteFailed(flushed ? errno : flush_error);
}

// Opened non-blocking, so that a named pipe or a device cannot keep the
// open (or a later read) waiting; blocking again once it is known to be a
// regular file.
bool MakeBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

int OpenRegularForReading(const std::string& name) {
  if (name.empty()) throw CannotOpen(name, "");
  Fd fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) throw CannotOpen(name, ReasonText(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw CannotOpen(name, ReasonText(errno));
  if (!S_ISREG(st.st_mode)) throw CannotOpen(name, NotRegular(st.st_mode));
  if (!MakeBlocking(fd.get())) throw CannotOpen(name, ReasonText(errno));
  return fd.release();
}

// Creates (or truncates) a regular file. A link at the name is removed first,
// so its target is never written; a folder is refused. A device or named pipe
// that stands there is written into as it is (opened without waiting for a
// reader), never replaced.
int CreateForWriting(const std::string& name) {
  if (name.empty()) throw CannotCreate(name, "");
  int flags = O_WRONLY | O_CREAT | O_TRUNC;
  struct stat st {};
  if (::lstat(name.c_str(), &st) == 0) {
    if (S_ISLNK(st.st_mode)) {
      if (::unlink(name.c_str()) != 0 && errno != ENOENT) throw CannotCreate(name, ReasonText(errno));
    } else if (S_ISDIR(st.st_mode)) {
      throw CannotCreate(name, NotRegular(st.st_mode));
    } else if (!S_ISREG(st.st_mode)) {
      flags = O_WRONLY;
    }
  }
  Fd fd(::open(name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
  if (fd.get() < 0) throw CannotCreate(name, ReasonText(errno));
  if (::fstat(fd.get(), &st) != 0) throw CannotCreate(name, ReasonText(errno));
  if (S_ISDIR(st.st_mode)) throw CannotCreate(name, NotRegular(st.st_mode));
  if (!MakeBlocking(fd.get())) throw CannotCreate(name, ReasonText(errno));
  return fd.release();
}

detail::FileHandle StreamOf(int fd, const char* mode) {
  detail::FileHandle file(::fdopen(fd, mode));
  if (!file) {
    ::close(fd);
    return file;
  }
  std::setvbuf(file.get(), nullptr, _IOFBF, kStreamBufferSize);
  return file;
}

}  // namespace

Fd::~Fd() {
  if (fd_ >= 0) ::close(fd_);
}

void ThrowRangeCheck() { throw FileError(kRangeCheckError); }

int32_t CheckedInt32(uint64_t value) {
  if (value > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) ThrowRangeCheck();
  return static_cast<int32_t>(value);
}

std::string PrintableName(const std::string& name) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(name.size());
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7f) {
      shown += ch;
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else {
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 0xf];
    }
  }
  return shown;
}

std::string ReasonText(int error_number) { return std::strerror(error_number); }
std::string ReasonSuffix(int error_number) { return ": " + ReasonText(error_number); }

std::string LoggedText(const std::exception& e) {
  const auto* file_error = dynamic_cast<const FileError*>(&e);
  return file_error ? file_error->logged() : e.what();
}

std::string ReasonOf(const std::exception& e) {
  const auto* file_error = dynamic_cast<const FileError*>(&e);
  return file_error ? file_error->reason() : std::string();
}

std::string NotRegularFileReason(unsigned mode) {
  return "it is not a regular file but " + [mode]() -> std::string {
    switch (mode & S_IFMT) {
      case S_IFDIR:
        return "a folder";
      case S_IFIFO:
        return "a named pipe";
      case S_IFSOCK:
        return "a socket";
      case S_IFCHR:
        return "a character device";
      case S_IFBLK:
        return "a block device";
      case S_IFLNK:
        return "a symbolic link";
    }
    return "an entry of an unknown kind";
  }();
}

bool FileExists(const std::string& name) {
  struct stat st {};
  return StatPath(name, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& name) {
  return !name.empty() && !DirectoryExists(name) && ::unlink(name.c_str()) == 0;
}

bool ForceDirectories(const std::string& path, std::string* why) {
  if (path.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (DirectoryExists(path)) return true;
  struct stat st {};
  if (why) *why = ::lstat(path.c_str(), &st) == 0 ? "a file of that name stands in its way" : ec.message();
  return false;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  const bool a_exists = StatPath(a, sa);
  const bool b_exists = StatPath(b, sb);
  if (a_exists && b_exists) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (a_exists || b_exists) return false;
  std::error_code ec;
  const auto pa = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ec), ec);
  const auto pb = std::filesystem::weakly_canonical(std::filesystem::absolute(b, ec), ec);
  return pa.lexically_normal() == pb.lexically_normal();
}

// ---- InputFile ----

InputFile::InputFile(const std::string& name) : name_(name) {
  file_ = StreamOf(OpenRegularForReading(name), "rb");
  if (!file_) throw CannotOpen(name, ReasonText(errno));
}

uint64_t InputFile::Size() const {
  struct stat st {};
  if (::fstat(::fileno(file_.get()), &st) != 0) throw FileError(kStreamReadError);
  return static_cast<uint64_t>(st.st_size);
}

uint64_t InputFile::Position() const {
  const off_t pos = ::ftello(file_.get());
  if (pos < 0) throw FileError(kStreamReadError);
  return static_cast<uint64_t>(pos);
}

void InputFile::Seek(uint64_t position) {
  if (position > static_cast<uint64_t>(std::numeric_limits<off_t>::max()) ||
      ::fseeko(file_.get(), static_cast<off_t>(position), SEEK_SET) != 0) {
    throw FileError(kStreamReadError);
  }
}

void InputFile::Read(void* buffer, size_t count) {
  if (ReadSome(buffer, count) != count) throw FileError(kStreamReadError);
}

uint8_t InputFile::ReadByte() {
  const int c = std::getc(file_.get());
  if (c == EOF) throw FileError(kStreamReadError);
  return static_cast<uint8_t>(c);
}

size_t InputFile::ReadSome(void* buffer, size_t count) {
  if (count == 0) return 0;
  const size_t got = std::fread(buffer, 1, count, file_.get());
  if (got < count && std::ferror(file_.get())) throw FileError(kStreamReadError);
  return got;
}

void InputFile::Close() { file_.reset(); }

// ---- OutputFile ----

OutputFile::OutputFile(const std::string& name) {
  file_ = StreamOf(CreateForWriting(name), "wb");
  if (!file_) throw CannotCreate(name, ReasonText(errno));
}

void OutputFile::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  if (!file_) throw FileError(kStreamWriteError);
  WriteAll(file_.get(), buffer, count);
}

void OutputFile::WriteFill(uint8_t value, uint64_t count) {
  std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(count, kStreamBufferSize)), value);
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, block.size()));
    Write(block.data(), n);
    count -= n;
  }
}

void OutputFile::Close() {
  if (file_) CloseWritten(file_);
}

void CopyBytes(InputFile& from, OutputFile& to, uint64_t count) {
  std::vector<uint8_t> block(kStreamBufferSize);
  while (count > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, block.size()));
    from.Read(block.data(), n);
    to.Write(block.data(), n);
    count -= n;
  }
}

std::vector<uint8_t> ReadWholeFile(const std::string& name, uint64_t max_size) {
  InputFile in(name);
  const uint64_t size = in.Size();
  if (size > max_size) {
    throw CannotOpen(
        name, ": it is " + std::to_string(size) + " bytes, more than the " + std::to_string(max_size) + " this reads");
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  in.Read(bytes.data(), bytes.size());
  return bytes;
}

std::optional<FileOwnership> OwnershipOf(const std::string& name) {
  struct stat st {};
  if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileOwnership{st.st_uid, st.st_gid, st.st_mode & 07777u};
}

void KeepOwnership(const std::string& name, const FileOwnership& was) {
  const std::optional<FileOwnership> now = OwnershipOf(name);
  if (!now) return;
  if ((now->uid != was.uid || now->gid != was.gid) && ::chown(name.c_str(), was.uid, was.gid) != 0) return;
  if (now->mode != was.mode) ::chmod(name.c_str(), was.mode);
}

std::string GetCurrentDir() {
  std::error_code ec;
  auto path = std::filesystem::current_path(ec);
  if (ec) throw FileError(ec.message());
  return path.string();
}

void SetCurrentDir(const std::string& path) {
  if (::chdir(path.c_str()) != 0) {
    throw FileError("Cannot change directory to " + PrintableName(path) + ReasonSuffix(errno));
  }
}

}  // namespace kws

namespace kws {

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

[[maybe_unused]] constexpr const char* kMadeMarkName = "user.kestro-welcome.made";

// Each purpose as its mark names it and as a refusal does, in MadeFor's order.
constexpr struct {
  const char* mark;
  const char* made_by;
} kPurposes[] = {
    {"import", "a bitmap an import made"},
    {"preview", "a preview this program made"},
    {"sample", "the sample picture this program wrote"},
    {"test-card", "a test card this program wrote"},
    {"extract", "a picture an extract wrote"},
};

const char* PurposeName(MadeFor purpose) { return kPurposes[static_cast<size_t>(purpose)].mark; }

uint32_t Crc32Of(std::span<const uint8_t> bytes) {
  uLong crc = ::crc32(0L, Z_NULL, 0);
  // zlib takes at most a uInt at a time.
  for (size_t done = 0; done < bytes.size();) {
    const auto n = static_cast<uInt>(std::min<size_t>(bytes.size() - done, 1u << 30));
    crc = ::crc32(crc, bytes.data() + done, n);
    done += n;
  }
  return static_cast<uint32_t>(crc);
}

// "import 180278 1a2b3c4d": the purpose, the size and the CRC-32 of the bytes.
std::string MadeMark(MadeFor purpose, std::span<const uint8_t> bytes) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", Crc32Of(bytes));
  return std::string(PurposeName(purpose)) + " " + std::to_string(bytes.size()) + " " + crc;
}

// The mark on the entry itself (a link has none of its own), or empty.
std::string ReadMadeMark(const std::string& name) {
#ifdef KWS_HAVE_XATTR
  char value[128];
  const ssize_t n = ::lgetxattr(name.c_str(), kMadeMarkName, value, sizeof value);
  if (n > 0) return std::string(value, static_cast<size_t>(n));
#else
  (void)name;
#endif
  return {};
}

// A temporary file beside its final name, removed unless it was renamed. Its
// name is short, so that it is legal wherever the final name is.
class TemporarySibling {
 public:
  explicit TemporarySibling(const std::string& final_name)
      : path_(FolderOf(final_name) + "/" + kTemporaryPrefix + "XXXXXX") {
    const int fd = ::mkostemp(path_.data(), O_CLOEXEC);
    if (fd < 0) throw CannotCreate(final_name, ReasonText(errno));
    file_ = StreamOf(fd, "wb");
    if (!file_) {
      const int error = errno;
      ::unlink(path_.c_str());
      throw CannotCreate(final_name, ReasonText(error));
    }
  }
  ~TemporarySibling() {
    file_.reset();
    if (!renamed_) ::unlink(path_.c_str());
  }
  TemporarySibling(const TemporarySibling&) = delete;
  TemporarySibling& operator=(const TemporarySibling&) = delete;

  const std::string& path() const { return path_; }

  // Best effort: where the file system keeps no attributes, the file is
  // simply not known again as ours.
  void Mark(const std::string& mark) {
#ifdef KWS_HAVE_XATTR
    ::setxattr(path_.c_str(), kMadeMarkName, mark.data(), mark.size(), 0);
#else
    (void)mark;
#endif
  }

  void Write(const void* bytes, size_t count) {
    if (count > 0) WriteAll(file_.get(), bytes, count);
  }

  void Finish() {
    if (file_) CloseWritten(file_);
  }

  // A file it replaces keeps its permission bits; a new one gets the
  // ordinary rights (mkstemp makes it private).
  void CommitAs(const std::string& final_name) {
    Finish();
    struct stat st {};
    mode_t mode;
    if (::lstat(final_name.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      mode = st.st_mode & 07777;
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    ::chmod(path_.c_str(), mode);
    // Root replacing a user's file gives it back to the user; anyone else
    // may not give a file away, and keeps it.
    if (S_ISREG(st.st_mode) && ::geteuid() == 0 && ::chown(path_.c_str(), st.st_uid, st.st_gid) != 0) {
      // best effort: the file stays root's
    }
    if (::rename(path_.c_str(), final_name.c_str()) != 0) {
      throw FileError("Cannot rename to " + PrintableName(final_name) + ReasonSuffix(errno));
    }
    renamed_ = true;
  }

 private:
  std::string path_;
  detail::FileHandle file_;
  bool renamed_ = false;
};

// Refuses a destination that is there and is neither a regular file nor a
// link: renaming over a folder, pipe or device would replace it.
void RefuseSpecialDestination(const std::string& destination) {
  struct stat st {};
  if (::lstat(destination.c_str(), &st) != 0) return;
  if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return;
  throw CannotCreate(destination, NotRegular(st.st_mode));
}

// Writes into an existing pipe, device or terminal as it is.
void WriteInto(const std::string& destination, const std::vector<uint8_t>& bytes) {
  Fd fd(::open(destination.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) throw CannotCreate(destination, ReasonText(errno));
  if (!MakeBlocking(fd.get())) throw CannotCreate(destination, ReasonText(errno));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw WriteFailed(n < 0 ? errno : 0);
    done += static_cast<size_t>(n);
  }
}

bool IsOldTemporaryName(const std::string& name) {
  // "NAME.partial-XXXXXX", as earlier versions named them.
  static constexpr std::string_view kOld = ".partial-";
  return name.size() > kOld.size() + 6 && name.compare(name.size() - 6 - kOld.size(), kOld.size(), kOld) == 0;
}

}  // namespace

int RemoveStaleTemporaries(const std::string& folder) {
  int removed = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kTemporaryPrefix, 0) != 0 && !IsOldTemporaryName(name)) continue;
    std::error_code type_ec;
    if (!entry.is_regular_file(type_ec) || entry.is_symlink(type_ec)) continue;
    if (::unlink(entry.path().c_str()) == 0) ++removed;
  }
  return removed;
}

namespace {

// The written file is read back by the check before it takes its name.
void CommitChecked(TemporarySibling& out, const std::string& destination, const ContentCheck& check) {
  out.Finish();
  if (check) {
    if (const std::string fault = check(out.path()); !fault.empty()) throw ContentFault(fault);
  }
  out.CommitAs(destination);
}

}  // namespace

void CopyFileReplacing(const std::string& source, const std::string& destination, const ContentCheck& check) {
  RefuseSpecialDestination(destination);
  InputFile in(source);
  TemporarySibling out(destination);
  std::vector<uint8_t> block(kStreamBufferSize);
  for (;;) {
    const size_t n = in.ReadSome(block.data(), block.size());
    if (n == 0) break;
    out.Write(block.data(), n);
  }
  CommitChecked(out, destination, check);
}

void ReplaceFileWith(const std::string& destination, std::span<const uint8_t> bytes, const ContentCheck& check) {
  RefuseSpecialDestination(destination);
  TemporarySibling out(destination);
  out.Write(bytes.data(), bytes.size());
  CommitChecked(out, destination, check);
}

std::string MadeByText(MadeFor purpose) { return kPurposes[static_cast<size_t>(purpose)].made_by; }

bool CarriesMadeMark(const std::string& name, MadeFor purpose) {
  std::istringstream mark(ReadMadeMark(name));
  std::string made_for, crc;
  uint64_t size = 0;
  if (!(mark >> made_for >> size >> crc) || made_for != PurposeName(purpose)) return false;
  struct stat st {};
  if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) != size) {
    return false;
  }
  try {
    const std::vector<uint8_t> bytes = ReadWholeFile(name, size);
    return MadeMark(purpose, bytes) == mark.str();
  } catch (const FileError&) {
    return false;
  }
}

void WriteFileReplacing(const std::string& destination, const std::vector<uint8_t>& bytes,
                        std::optional<MadeFor> made_for) {
  struct stat st {};
  if (::stat(destination.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) throw CannotCreate(destination, NotRegular(st.st_mode));
    WriteInto(destination, bytes);
    return;
  }
  // A regular file, a link to one, or nothing yet: replaced whole. A link is
  // replaced by the file; what it pointed to stays as it was.
  TemporarySibling out(destination);
  out.Write(bytes.data(), bytes.size());
  out.Finish();
  if (made_for) out.Mark(MadeMark(*made_for, bytes));
  out.CommitAs(destination);
}

}  // namespace kws
