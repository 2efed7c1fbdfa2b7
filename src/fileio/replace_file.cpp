#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "fileio/file.h"

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
#include <sstream>
#include <string_view>
#include <vector>

#include "fileio/file_writing.h"

namespace kws {

using detail::CannotCreate;
using detail::CloseWritten;
using detail::kStreamBufferSize;
using detail::MakeBlocking;
using detail::StreamOf;
using detail::TemporarySibling;
using detail::WriteAll;
using detail::WriteFailed;

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

// The mark on the entry itself (a link has none of its own), or empty.
std::string ReadMadeMark(const std::string& name) {
#ifdef KWS_HAVE_XATTR
  // The purpose, size and check value, and a path of at most PATH_MAX.
  char value[4096 + 64];
  const ssize_t n = ::lgetxattr(name.c_str(), kMadeMarkName, value, sizeof value);
  if (n > 0) return std::string(value, static_cast<size_t>(n));
#else
  (void)name;
#endif
  return {};
}

}  // namespace

namespace detail {

std::string MarkedName(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::canonical(FolderOf(name), ec);
  if (ec) return std::filesystem::absolute(name, ec).lexically_normal().string();
  return (folder / base).string();
}

std::string MadeMark(MadeFor purpose, std::span<const uint8_t> bytes, const std::string& name) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", Crc32Of(bytes));
  return std::string(PurposeName(purpose)) + " " + std::to_string(bytes.size()) + " " + crc + " " + MarkedName(name);
}

bool MarkHolds(const std::string& path, MadeFor purpose, const std::string& name) {
  const std::string mark = ReadMadeMark(path);
  std::istringstream fields(mark);
  std::string made_for, crc;
  uint64_t size = 0;
  if (!(fields >> made_for >> size >> crc) || made_for != PurposeName(purpose)) return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) != size) {
    return false;
  }
  try {
    const std::vector<uint8_t> bytes = ReadWholeFile(path, size);
    return MadeMark(purpose, bytes, name) == mark;
  } catch (const FileError&) {
    return false;
  }
}

TemporarySibling::TemporarySibling(const std::string& final_name)
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

TemporarySibling::~TemporarySibling() {
  file_.reset();
  if (!renamed_) ::unlink(path_.c_str());
}

void TemporarySibling::Mark(const std::string& mark) {
#ifdef KWS_HAVE_XATTR
  ::setxattr(path_.c_str(), kMadeMarkName, mark.data(), mark.size(), 0);
#else
  (void)mark;
#endif
}

void TemporarySibling::Write(const void* bytes, size_t count) {
  if (count > 0) WriteAll(file_.get(), bytes, count);
}

void TemporarySibling::Finish() {
  if (file_) CloseWritten(file_);
}

// A file it replaces keeps its permission bits; a new one gets the ordinary
// rights (mkstemp makes it private).
void TemporarySibling::TakeRightsFor(const std::string& final_name) {
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
  // Root replacing a user's file gives it back to the user; anyone else may
  // not give a file away, and keeps it.
  if (S_ISREG(st.st_mode) && ::geteuid() == 0 && ::chown(path_.c_str(), st.st_uid, st.st_gid) != 0) {
    // best effort: the file stays root's
  }
}

void TemporarySibling::CommitAs(const std::string& final_name) {
  TakeRightsFor(final_name);
  if (::rename(path_.c_str(), final_name.c_str()) != 0) {
    throw FileError("Cannot rename to " + PrintableName(final_name) + ReasonSuffix(errno));
  }
  renamed_ = true;
}

namespace {

bool Unsupported(int error) { return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EPERM; }

// Where hard links are not kept either (FAT): an empty file claims the name,
// only while nothing has it, and the file is renamed over that claim.
bool ClaimThenRename(const std::string& from, const std::string& to) {
  const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == EEXIST) return false;
    throw FileError("Cannot rename to " + PrintableName(to) + ReasonSuffix(errno));
  }
  ::close(fd);
  if (::rename(from.c_str(), to.c_str()) != 0) {
    const int error = errno;
    ::unlink(to.c_str());
    throw FileError("Cannot rename to " + PrintableName(to) + ReasonSuffix(error));
  }
  return true;
}

}  // namespace

bool TemporarySibling::CommitNew(const std::string& final_name) {
  TakeRightsFor(final_name);
  int error = EINVAL;
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, final_name.c_str(), RENAME_NOREPLACE) == 0) {
    renamed_ = true;
    return true;
  }
  error = errno;
#endif
  if (error == EEXIST) return false;
  if (!Unsupported(error)) throw FileError("Cannot rename to " + PrintableName(final_name) + ReasonSuffix(error));
  // Without the flag a link takes the name as safely: it fails on any entry.
  if (::link(path_.c_str(), final_name.c_str()) == 0) {
    ::unlink(path_.c_str());
    renamed_ = true;
    return true;
  }
  if (errno == EEXIST) return false;
  if (!Unsupported(errno)) throw FileError("Cannot rename to " + PrintableName(final_name) + ReasonSuffix(errno));
  renamed_ = ClaimThenRename(path_, final_name);
  return renamed_;
}

bool TemporarySibling::Exchange(const std::string& final_name) {
  TakeRightsFor(final_name);
  return SwapBack(final_name);
}

bool TemporarySibling::SwapBack(const std::string& final_name) {
#ifdef RENAME_EXCHANGE
  if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, final_name.c_str(), RENAME_EXCHANGE) == 0) return true;
  if (errno != ENOENT && !Unsupported(errno)) {
    throw FileError("Cannot rename to " + PrintableName(final_name) + ReasonSuffix(errno));
  }
#else
  (void)final_name;
#endif
  return false;
}

bool WriteIntoDevice(const std::string& destination, std::span<const uint8_t> bytes) {
  Fd fd(::open(destination.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0 && errno == ENOENT) return false;
  if (fd.get() < 0) throw CannotCreate(destination, ReasonText(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw CannotCreate(destination, ReasonText(errno));
  if (S_ISREG(st.st_mode)) return false;
  if (S_ISDIR(st.st_mode)) throw CannotCreate(destination, NotRegularFileReason(st.st_mode));
  if (!MakeBlocking(fd.get())) throw CannotCreate(destination, ReasonText(errno));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw WriteFailed(n < 0 ? errno : 0);
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace detail

namespace {

// Refuses a destination that is there and is neither a regular file nor a
// link: renaming over a folder, pipe or device would replace it.
void RefuseSpecialDestination(const std::string& destination) {
  struct stat st {};
  if (::lstat(destination.c_str(), &st) != 0) return;
  if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return;
  throw CannotCreate(destination, NotRegularFileReason(st.st_mode));
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

bool CarriesMadeMark(const std::string& name, MadeFor purpose) { return detail::MarkHolds(name, purpose, name); }

void WriteFileReplacing(const std::string& destination, const std::vector<uint8_t>& bytes,
                        std::optional<MadeFor> made_for) {
  struct stat st {};
  if (::stat(destination.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) throw CannotCreate(destination, NotRegularFileReason(st.st_mode));
    if (detail::WriteIntoDevice(destination, bytes)) return;
  }
  // A regular file, a link to one, or nothing yet: replaced whole. A link is
  // replaced by the file; what it pointed to stays as it was.
  TemporarySibling out(destination);
  out.Write(bytes.data(), bytes.size());
  out.Finish();
  if (made_for) out.Mark(detail::MadeMark(*made_for, bytes, destination));
  out.CommitAs(destination);
}

}  // namespace kws
