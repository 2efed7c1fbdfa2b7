#include "fileio/destination.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <utility>

#include "fileio/file_writing.h"

namespace kws {

namespace {

// The input that is the same file as the destination (its device and inode:
// "./a.bmp", "a.bmp" and a hard link of it are one file), or nothing.
const std::string* SameAsInput(const struct stat& destination, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    struct stat st {};
    if (::stat(input.c_str(), &st) == 0 && st.st_dev == destination.st_dev && st.st_ino == destination.st_ino) {
      return &input;
    }
  }
  return nullptr;
}

bool HoldsExactly(const std::string& name, uint64_t size, std::span<const uint8_t> bytes) {
  if (size != bytes.size()) return false;
  try {
    const std::vector<uint8_t> there = ReadWholeFile(name, size);
    return std::equal(there.begin(), there.end(), bytes.begin(), bytes.end());
  } catch (const FileError&) {
    return false;
  }
}

EntryIdentity IdentityOf(const struct stat& st) {
  return {.device = static_cast<uint64_t>(st.st_dev),
          .inode = static_cast<uint64_t>(st.st_ino),
          .size = static_cast<uint64_t>(st.st_size),
          .modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
          .type = static_cast<unsigned>(st.st_mode & S_IFMT)};
}

bool HoldsExactly(const std::string& name, std::span<const uint8_t> bytes) {
  struct stat st {};
  return ::lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         HoldsExactly(name, static_cast<uint64_t>(st.st_size), bytes);
}

std::string NumberedName(const std::string& path, int n) {
  const std::filesystem::path p(path);
  return (p.parent_path() / p.stem()).string() + "-" + std::to_string(n) + p.extension().string();
}

}  // namespace

DestinationCheck CheckDestination(const std::string& destination, const std::vector<std::string>& inputs,
                                  MadeFor purpose, std::optional<std::span<const uint8_t>> bytes) {
  DestinationCheck check;
  check.purpose = purpose;
  struct stat entry {};
  if (destination.empty() || ::lstat(destination.c_str(), &entry) != 0) return check;
  struct stat target {};
  const bool resolves = ::stat(destination.c_str(), &target) == 0;
  // The input comes first: a link to it, or the input reached by another
  // name, is never written over.
  if (resolves) {
    if (const std::string* input = SameAsInput(target, inputs)) {
      check.standing = Standing::kInput;
      check.input = *input;
      return check;
    }
    if (S_ISDIR(target.st_mode)) return check;
    if (!S_ISREG(target.st_mode)) {
      check.standing = Standing::kDevice;
      return check;
    }
  }
  // A link is replaced by the file, never written through: it is the
  // user's, and carries no mark of its own.
  check.judged = IdentityOf(entry);
  const bool regular = S_ISREG(entry.st_mode);
  const bool made = regular && (CarriesMadeMark(destination, purpose) ||
                                (bytes && HoldsExactly(destination, static_cast<uint64_t>(entry.st_size), *bytes)));
  check.standing = made ? Standing::kMade : Standing::kUsers;
  return check;
}

std::string RefusalText(const std::string& destination, const DestinationCheck& check) {
  if (check.standing == Standing::kInput) {
    return PrintableName(destination) + " is the input " + PrintableName(check.input) + " itself; name another output";
  }
  return PrintableName(destination) + " exists and is not " + MadeByText(check.purpose);
}

std::string ReplacedText(const std::string& destination, const DestinationCheck& check) {
  const std::string replaced = "replaced " + PrintableName(destination);
  return check.standing == Standing::kMade ? replaced + ", " + MadeByText(check.purpose) : replaced;
}

std::string FreeName(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return path;
  for (int n = 1;; ++n) {
    const std::string candidate = NumberedName(path, n);
    if (::lstat(candidate.c_str(), &st) != 0) return candidate;
  }
}

namespace {

using detail::TemporarySibling;

// The reasons a judged write keeps the destination.
constexpr const char* kTaken = "something took the name meanwhile";
constexpr const char* kChanged = "it changed meanwhile";
constexpr const char* kNoSwap = "this file system cannot swap files, so nothing of it is replaced";

// Whether what the swap moved out is what was judged: the same entry,
// unchanged, and, when it was replaceable as ours, still ours under that name.
bool SwappedOutAsJudged(const std::string& swapped_out, const std::string& destination, const DestinationCheck& check,
                        std::span<const uint8_t> bytes) {
  struct stat st {};
  if (::lstat(swapped_out.c_str(), &st) != 0 || IdentityOf(st) != check.judged) return false;
  if (check.standing != Standing::kMade) return true;
  return detail::MarkHolds(swapped_out, check.purpose, destination) || HoldsExactly(swapped_out, bytes);
}

// The first numbered name beside destination that can be taken.
WrittenTo TakeFreeName(TemporarySibling& out, const std::string& destination, const DestinationCheck& check,
                       std::span<const uint8_t> bytes, const char* why) {
  for (int n = 1; n < 100000; ++n) {
    const std::string name = NumberedName(destination, n);
    out.Mark(detail::MadeMark(check.purpose, bytes, name));
    if (out.CommitNew(name)) return {name, why};
  }
  throw FileError("Cannot create file " + PrintableName(destination), "no free name beside it");
}

}  // namespace

WrittenTo WriteJudged(const std::string& destination, const DestinationCheck& check, std::span<const uint8_t> bytes) {
  if (check.standing == Standing::kInput) throw FileError(RefusalText(destination, check));
  // A file that took a device's place is kept like any other change.
  if (check.standing == Standing::kDevice && detail::WriteIntoDevice(destination, bytes)) return {destination, {}};
  struct stat st {};
  if (::stat(destination.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    throw FileError("Cannot create file " + PrintableName(destination), NotRegularFileReason(st.st_mode));
  }
  TemporarySibling out(destination);
  out.Write(bytes.data(), bytes.size());
  out.Finish();
  out.Mark(detail::MadeMark(check.purpose, bytes, destination));
  if (const auto hook = std::exchange(hooks::before_final_step, nullptr)) hook();
  if (check.standing == Standing::kFree || check.standing == Standing::kDevice) {
    if (out.CommitNew(destination)) return {destination, {}};
    return TakeFreeName(out, destination, check, bytes, kTaken);
  }
  if (!out.Exchange(destination)) {
    return TakeFreeName(out, destination, check, bytes, ::lstat(destination.c_str(), &st) == 0 ? kNoSwap : kChanged);
  }
  if (SwappedOutAsJudged(out.path(), destination, check, bytes)) return {destination, {}};
  // Put back what was there; the swap back itself is as atomic as the swap.
  if (!out.SwapBack(destination)) {
    out.Keep();
    throw FileError("Cannot rename to " + PrintableName(destination),
                    "it changed while it was replaced; what stood there is now " + PrintableName(out.path()));
  }
  return TakeFreeName(out, destination, check, bytes, kChanged);
}

std::string WriteFailureText(const std::string& destination, const std::exception& e) {
  struct stat st {};
  const bool pipe = ::stat(destination.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
  if (!pipe || ReasonOf(e) != ReasonText(ENXIO)) return e.what();
  return std::string(e.what()) + " (nothing reads the pipe " + PrintableName(destination) + ")";
}

std::string DivertedText(const std::string& destination, const WrittenTo& written) {
  return PrintableName(destination) + " is kept (" + written.why_not_destination + "); written as " +
         PrintableName(written.name) + " instead";
}

}  // namespace kws
