#include "picture/picture_file.h"

namespace kws {

PictureFile::PictureFile(const std::string& path) : file_(path), size_(static_cast<qint64>(file_.Size())) {
  open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

PictureFile::~PictureFile() { close(); }

bool PictureFile::seek(qint64 pos) {
  if (pos < 0 || !QIODevice::seek(pos)) return false;
  try {
    file_.Seek(static_cast<uint64_t>(pos));
  } catch (const FileError&) {
    return false;
  }
  return true;
}

qint64 PictureFile::readData(char* data, qint64 most) {
  try {
    return static_cast<qint64>(file_.ReadSome(data, static_cast<size_t>(most)));
  } catch (const FileError&) {
    return -1;
  }
}

}  // namespace kws
