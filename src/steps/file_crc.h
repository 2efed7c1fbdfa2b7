// Image CRCs of file contents, read in blocks.
#pragma once

#include <cstdint>
#include <string>

#include "fileio/file.h"

namespace kws {

// Image CRC of the next count bytes of the file; fewer is "Stream read error".
uint32_t ImageCrcOfNext(InputFile& file, uint64_t count);

// Image CRC of a file's bytes from offset 4 to its end: what a CRC field in
// the first four bytes of a header covers. The file is read as it lies on
// disk, so the CRC is of exactly the bytes that were written.
uint32_t ImageCrcBehindCrcField(const std::string& name);

}  // namespace kws
