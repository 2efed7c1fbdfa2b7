// A picture file as Qt's readers and libpng read it: from the file as they
// go, so that a large file never stands whole in memory.
#pragma once

#include <QIODevice>
#include <cstdint>
#include <string>

#include "fileio/file.h"

namespace kws {

// A regular file opened for reading, as a random-access device without a
// buffer of its own (the file's stream has one). Opening throws the file
// layer's FileError: a file that is missing, not regular or unreadable.
class PictureFile : public QIODevice {
 public:
  explicit PictureFile(const std::string& path);
  ~PictureFile() override;
  PictureFile(const PictureFile&) = delete;
  PictureFile& operator=(const PictureFile&) = delete;

  bool isSequential() const override { return false; }
  qint64 size() const override { return size_; }
  bool seek(qint64 pos) override;

 protected:
  qint64 readData(char* data, qint64 most) override;
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  InputFile file_;
  qint64 size_;
};

}  // namespace kws
