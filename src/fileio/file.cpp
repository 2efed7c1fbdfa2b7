#include "fileio/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

namespace kws {

namespace {

constexpr size_t kStreamBufferSize = 64 * 1024;

bool StatPath(const std::string& name, struct stat& st) {
  return !name.empty() && ::stat(name.c_str(), &st) == 0;
}

}  // namespace

void ThrowRangeCheck() { throw FileError(kRangeCheckError); }

int32_t CheckedInt32(uint64_t value) {
  if (value > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) ThrowRangeCheck();
  return static_cast<int32_t>(value);
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

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return DirectoryExists(path);
}

// ---- InputFile ----

InputFile::InputFile(const std::string& name) : name_(name) {
  const std::string message = "Cannot open file " + name;
  if (name.empty()) throw FileError(message);
  file_.reset(std::fopen(name.c_str(), "rb"));
  if (!file_) throw FileError(message);
  // fopen happily opens a folder for reading; the platform does not.
  struct stat st {};
  if (::fstat(::fileno(file_.get()), &st) != 0 || S_ISDIR(st.st_mode)) {
    file_.reset();
    throw FileError(message);
  }
  std::setvbuf(file_.get(), nullptr, _IOFBF, kStreamBufferSize);
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
  const std::string message = "Cannot create file " + name;
  if (name.empty() || DirectoryExists(name)) throw FileError(message);
  file_.reset(std::fopen(name.c_str(), "wb"));
  if (!file_) throw FileError(message);
  std::setvbuf(file_.get(), nullptr, _IOFBF, kStreamBufferSize);
}

void OutputFile::Write(const void* buffer, size_t count) {
  if (count == 0) return;
  if (!file_ || std::fwrite(buffer, 1, count, file_.get()) != count) {
    throw FileError(kStreamWriteError);
  }
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
  if (!file_) return;
  const bool flushed = std::fflush(file_.get()) == 0;
  const bool closed = std::fclose(file_.release()) == 0;
  if (!flushed || !closed) throw FileError(kStreamWriteError);
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

std::string GetCurrentDir() {
  std::error_code ec;
  auto path = std::filesystem::current_path(ec);
  if (ec) throw FileError(ec.message());
  return path.string();
}

void SetCurrentDir(const std::string& path) {
  if (::chdir(path.c_str()) != 0) {
    throw FileError("Cannot change directory to " + path + ": " + std::strerror(errno));
  }
}

}  // namespace kws

namespace kws {

namespace {

// A temporary file beside its final name, removed unless it was renamed.
class TemporarySibling {
 public:
  explicit TemporarySibling(const std::string& final_name) : path_(final_name + ".partial-XXXXXX") {
    const int fd = ::mkstemp(path_.data());
    if (fd < 0) throw FileError("Cannot create file " + final_name);
    file_.reset(::fdopen(fd, "wb"));
    if (!file_) {
      ::close(fd);
      ::unlink(path_.c_str());
      throw FileError("Cannot create file " + final_name);
    }
  }
  ~TemporarySibling() {
    file_.reset();
    if (!renamed_) ::unlink(path_.c_str());
  }
  TemporarySibling(const TemporarySibling&) = delete;
  TemporarySibling& operator=(const TemporarySibling&) = delete;

  std::FILE* get() const { return file_.get(); }
  const std::string& path() const { return path_; }

  void Finish() {
    if (!file_) return;
    const bool flushed = std::fflush(file_.get()) == 0;
    const bool closed = std::fclose(file_.release()) == 0;
    if (!flushed || !closed) throw FileError(kStreamWriteError);
  }

  void CommitAs(const std::string& final_name) {
    Finish();
    // mkstemp makes the file private; a finished image gets ordinary rights.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(path_.c_str(), 0666 & ~mask);
    if (::rename(path_.c_str(), final_name.c_str()) != 0) {
      throw FileError("Cannot rename to " + final_name + ": " + std::strerror(errno));
    }
    renamed_ = true;
  }

 private:
  std::string path_;
  detail::FileHandle file_;
  bool renamed_ = false;
};

}  // namespace

void CopyFileReplacing(const std::string& source, const std::string& destination, const ContentCheck& check) {
  InputFile in(source);
  TemporarySibling out(destination);
  std::vector<uint8_t> block(kStreamBufferSize);
  for (;;) {
    const size_t n = in.ReadSome(block.data(), block.size());
    if (n == 0) break;
    if (std::fwrite(block.data(), 1, n, out.get()) != n) throw FileError(kStreamWriteError);
  }
  out.Finish();
  if (check) {
    if (const std::string fault = check(out.path()); !fault.empty()) throw ContentFault(fault);
  }
  out.CommitAs(destination);
}

void WriteFileReplacing(const std::string& destination, const std::vector<uint8_t>& bytes) {
  TemporarySibling out(destination);
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size()) {
    throw FileError(kStreamWriteError);
  }
  out.CommitAs(destination);
}

}  // namespace kws
