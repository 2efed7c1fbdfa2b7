#include "fileio/destination.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

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
  const std::filesystem::path p(path);
  const std::string stem = (p.parent_path() / p.stem()).string();
  const std::string extension = p.extension().string();
  for (int n = 1;; ++n) {
    const std::string candidate = stem + "-" + std::to_string(n) + extension;
    if (::lstat(candidate.c_str(), &st) != 0) return candidate;
  }
}

}  // namespace kws
