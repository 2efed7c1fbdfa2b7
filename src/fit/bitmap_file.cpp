#include "fit/bitmap_file.h"

#include <functional>

#include "fileio/file.h"

namespace kws {

std::optional<Picture8> ReadConvertibleBitmap(const std::string& path) {
  try {
    InputFile file(path);
    StoredBitmap bitmap;
    ReadStoredBitmap(std::bind_front(&InputFile::ReadAt, &file), bitmap);
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
