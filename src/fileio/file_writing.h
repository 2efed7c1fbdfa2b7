// The file layer's own pieces for writing, shared by its two halves: the
// files a step reads and writes (file.cpp), and the files put into place
// under their final names (replace_file.cpp).
#pragma once

#include <cstddef>
#include <cstdio>
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

}  // namespace kws::detail
