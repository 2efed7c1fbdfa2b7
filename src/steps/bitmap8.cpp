#include "steps/bitmap8.h"

#include "fileio/file.h"

namespace kws {

void ReadStoredBitmap(InputFile& file, StoredBitmap& bitmap) {
  ReadStoredBitmap(
      [&file](uint64_t offset, std::span<uint8_t> out) -> size_t {
        file.Seek(offset);
        size_t found = 0;
        while (found < out.size()) {
          const size_t got = file.ReadSome(out.data() + found, out.size() - found);
          if (got == 0) break;
          found += got;
        }
        return found;
      },
      bitmap);
}

std::optional<Picture8> ReadConvertibleBitmap(const std::string& path) {
  try {
    InputFile file(path);
    StoredBitmap bitmap;
    ReadStoredBitmap(file, bitmap);
    if (bitmap.broken != BitmapRule::kKept || !bitmap.Complete() || !bitmap.another_picture.empty()) {
      return std::nullopt;
    }
    return PictureOf(bitmap);
  } catch (const FileError&) {
    return std::nullopt;
  }
}

void WriteBitmap8(const std::string& path, const Picture8& picture, std::optional<MadeFor> made_for) {
  WriteFileReplacing(path, EncodeBitmap8(picture), made_for);
}

}  // namespace kws
