// The one rule for writing a file the user named (an import's bitmap, a
// preview, the sample, a test card, an extracted picture): nothing of the
// user's is replaced without being asked, and a writer's own input never.
// The command line and the window both ask it before they write.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fileio/file.h"

namespace kws {

// What an existing entry under the name is to the writer.
enum class Standing {
  // Nothing is there, or a folder, which the write itself refuses: nothing is replaced.
  kFree,
  // A device or named pipe (/dev/stdout): written into as it is, never replaced.
  kDevice,
  // A file this program wrote for the same purpose and unchanged since (its
  // mark and check value agree), or one that already holds exactly the bytes
  // to be written: replaced without asking, and said.
  kMade,
  // Anything else, a link among it: replaced only when the user says so
  // (--force, or yes to the window's question), and said.
  kUsers,
  // One of the writer's own inputs (the same device and inode, whatever the
  // name): never replaced, not even when the user says so.
  kInput,
};

// An entry as it was when judged, to know it again when it is replaced: a
// file copied over in place keeps its inode but not its time or size.
struct EntryIdentity {
  uint64_t device = 0, inode = 0, size = 0;
  int64_t modified_ns = 0;
  unsigned type = 0;
  bool operator==(const EntryIdentity&) const = default;
};

struct DestinationCheck {
  MadeFor purpose = MadeFor::kImport;
  Standing standing = Standing::kFree;
  std::string input;     // kInput: the input it is, as it was named
  EntryIdentity judged;  // kMade, kUsers: the entry that may be replaced

  // May it be written with this answer of the user's (--force, or yes to
  // the question)?
  bool MayWrite(bool user_allows) const {
    return standing == Standing::kFree || standing == Standing::kDevice || standing == Standing::kMade ||
           (standing == Standing::kUsers && user_allows);
  }
  // Whether writing replaces a file, which is then to be said.
  bool Replaces() const { return standing == Standing::kMade || standing == Standing::kUsers; }
};

// Looks at destination before a writer for purpose writes it; inputs are the
// files the writer reads. bytes, when known beforehand, are what it will
// write: a file that already holds exactly them loses nothing.
DestinationCheck CheckDestination(const std::string& destination, const std::vector<std::string>& inputs,
                                  MadeFor purpose, std::optional<std::span<const uint8_t>> bytes = std::nullopt);

// Why the write is refused, for stderr or a message box:
// "notes.bmp exists and is not a bitmap an import made" or
// "x.img is the input x.img itself; name another output".
std::string RefusalText(const std::string& destination, const DestinationCheck& check);

// What was replaced, for stderr or the window: "replaced logo.bmp, a bitmap
// an import made" or "replaced notes.bmp" (when the user allowed it).
std::string ReplacedText(const std::string& destination, const DestinationCheck& check);

// Where a judged write went: to the destination, or, when that was no longer
// what was judged, to a free name beside it, and why.
struct WrittenTo {
  std::string name;
  std::string why_not_destination;  // empty when name is the destination
  bool Diverted() const { return !why_not_destination.empty(); }
};

// Writes bytes to destination as check judged it, marked for check.purpose,
// and safely at the moment of writing: a free name is taken only while
// nothing has it, and a file is replaced by an atomic swap, undone when the
// file swapped out is not the one judged (or no longer ours, when that was
// why it could be replaced). A file system that cannot swap never gets a
// replacement. Whenever the destination is not what was judged, the bytes go
// to a free name beside it instead. A device is written into as it is.
// Throws FileError when they cannot be written at all.
WrittenTo WriteJudged(const std::string& destination, const DestinationCheck& check, std::span<const uint8_t> bytes);

// Said beside the written name when the destination was kept:
// "race.bmp is kept (it changed meanwhile); written as race-1.bmp instead".
std::string DivertedText(const std::string& destination, const WrittenTo& written);

// The failure to write destination as the user reads it: what() of the
// file layer, and for a named pipe that nobody has open for reading
// ("No such device or address") that nothing reads it.
std::string WriteFailureText(const std::string& destination, const std::exception& e);

// A name beside path that nothing has yet: path itself when it is free, else
// "NAME-1.EXT", "NAME-2.EXT", ... Never an existing file, for a hint to name.
std::string FreeName(const std::string& path);

namespace hooks {
// Called once, by the next WriteJudged, between writing the bytes and their
// final step (and cleared first), so that a test can change the destination
// there as another program might.
inline std::function<void()> before_final_step;
}  // namespace hooks

}  // namespace kws
