// The file layer's own pieces for writing, shared by its two halves: the
// files a step reads and writes (file.cpp), and the files put into place
// under their final names (replace_file.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "fileio/file.h"

namespace kws::detail {

inline constexpr size_t kStreamBufferSize = 64 * 1024;

// "Cannot create file X", the system's reason apart.
FileError CannotCreate(const std::string& name, const std::string& why);
// A write that did not reach the file; errno says why when the system set it
// (a full disk: "No space left on device").
FileError WriteFailed(int error_number);
// Writes all count bytes, or throws WriteFailed.
void WriteAll(std::FILE* file, const void* bytes, size_t count);
// Flushes and closes a written stream; data that did not all reach the file
// is "Stream write error", with the system's reason.
void CloseWritten(FileHandle& file);
// Files are opened non-blocking, so that a named pipe or a device cannot
// keep the open (or a later read) waiting; blocking again once it is known
// what they are.
bool MakeBlocking(int fd);
// A buffered stream over fd; fd is closed when that fails.
FileHandle StreamOf(int fd, const char* mode);

// Writes bytes into the pipe, device or terminal at destination as it is;
// false, writing nothing, when a regular file or nothing is there.
bool WriteIntoDevice(const std::string& destination, std::span<const uint8_t> bytes);

// The name as the mark records it: absolute, through the real folder, so
// that the same file is known again by any name of its folder and a moved or
// copied file is not.
std::string MarkedName(const std::string& name);
// "import 180278 1a2b3c4d /home/ann/logo.bmp": the purpose, the size and
// CRC-32 of the bytes, and where they were written.
std::string MadeMark(MadeFor purpose, std::span<const uint8_t> bytes, const std::string& name);
// Whether the file at path carries the mark of purpose for name (the name
// it stands under, or stood under before a swap moved it to path) and still
// holds the bytes it was written with.
bool MarkHolds(const std::string& path, MadeFor purpose, const std::string& name);

// A temporary file beside its final name, removed unless it took a name.
// Its name is short, so that it is legal wherever the final name is.
class TemporarySibling {
 public:
  explicit TemporarySibling(const std::string& final_name);
  ~TemporarySibling();
  TemporarySibling(const TemporarySibling&) = delete;
  TemporarySibling& operator=(const TemporarySibling&) = delete;

  const std::string& path() const { return path_; }

  // Best effort: where the file system keeps no attributes, the file is
  // simply not known again as ours.
  void Mark(const std::string& mark);
  void Write(const void* bytes, size_t count);
  void Finish();

  // Renames the file to final_name, replacing whatever is there.
  void CommitAs(const std::string& final_name);
  // Takes final_name only while nothing has it: false when something does.
  bool CommitNew(const std::string& final_name);
  // Swaps the file with the entry under final_name, so that path() then
  // holds what stood there (removed with this object unless swapped back).
  // False when the file system cannot swap or nothing is there to swap with.
  bool Exchange(const std::string& final_name);
  // Swaps again, the rights as they are: what was swapped out goes back.
  bool SwapBack(const std::string& final_name);
  // Leaves the file at path() where it is.
  void Keep() { renamed_ = true; }

 private:
  // The rights the file takes under final_name: those of the file it
  // replaces, else the ordinary ones.
  void TakeRightsFor(const std::string& final_name);

  std::string path_;
  FileHandle file_;
  bool renamed_ = false;
};

}  // namespace kws::detail
