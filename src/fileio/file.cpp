#include "fileio/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

#include "fileio/file_writing.h"

namespace kws {

namespace detail {

FileError CannotCreate(const std::string& name, const std::string& why) {
  return FileError("Cannot create file " + PrintableName(name), why);
}

FileError WriteFailed(int error_number) {
  return FileError(kStreamWriteError, error_number != 0 ? ReasonText(error_number) : std::string());
}

void WriteAll(std::FILE* file, const void* bytes, size_t count) {
  errno = 0;
  if (std::fwrite(bytes, 1, count, file) != count) throw WriteFailed(errno);
}

void CloseWritten(FileHandle& file) {
  const bool flushed = std::fflush(file.get()) == 0;
  const int flush_error = flushed ? 0 : errno;
  errno = 0;
  const bool closed = std::fclose(file.release()) == 0;
  if (!flushed || !closed) throw WriteFailed(flushed ? errno : flush_error);
}

bool MakeBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

FileHandle StreamOf(int fd, const char* mode) {
  FileHandle file(::fdopen(fd, mode));
  if (!file) {
    ::close(fd);
    return file;
  }
  std::setvbuf(file.get(), nullptr, _IOFBF, kStreamBufferSize);
  return file;
}

}  // namespace detail

using detail::CannotCreate;
using detail::CloseWritten;
using detail::kStreamBufferSize;
using detail::MakeBlocking;
using detail::StreamOf;
using detail::WriteAll;

namespace {

bool StatPath(const std::string& name, struct stat& st) { return !name.empty() && ::stat(name.c_str(), &st) == 0; }

// The platform's wording, and why apart from it.
FileError CannotOpen(const std::string& name, const std::string& why) {
  return FileError("Cannot open file " + PrintableName(name), why);
}
std::string NotRegular(unsigned mode) { return NotRegularFileReason(mode); }

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

}  // namespace

Fd::~Fd() {
  if (fd_ >= 0) ::close(fd_);
}

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

size_t InputFile::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  Seek(offset);
  size_t found = 0;
  while (found < out.size()) {
    const size_t got = ReadSome(out.data() + found, out.size() - found);
    if (got == 0) break;
    found += got;
  }
  return found;
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
