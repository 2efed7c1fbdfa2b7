#include "preview/preview_loader.h"

#include <QBuffer>
#include <QImageReader>
#include <vector>

#include "fileio/file.h"
#include "format/bitmap.h"

namespace kws {

QImage LoadPreviewImage(const std::string& path, std::string* error) {
  const auto fail = [&](const std::string& why) {
    if (error) *error = why.empty() ? "Cannot load " + PrintableName(path) + " as a bitmap" : why;
    return QImage();
  };
  // Read by the file layer: only a regular file, so that a named pipe cannot
  // keep the window waiting, and under the name's own bytes.
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadWholeFile(path, kMaxBitmapFileBytes);
  } catch (const FileError& e) {
    return fail(e.what());
  }
  QBuffer buffer;
  buffer.setData(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "bmp");
  reader.setDecideFormatFromContent(false);
  QImage image;
  if (!reader.read(&image)) return fail(reader.errorString().toStdString());
  if (image.isNull()) return fail("");
  return image;
}

std::string CheckPreview(const std::string& path) {
  std::string error;
  LoadPreviewImage(path, &error);
  return error;
}

}  // namespace kws
