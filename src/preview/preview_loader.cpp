#include "preview/preview_loader.h"

#include <QImageReader>

namespace kws {

QImage LoadPreviewImage(const std::string& path, std::string* error) {
  QImageReader reader(QString::fromStdString(path), "bmp");
  reader.setDecideFormatFromContent(false);
  QImage image;
  if (!reader.read(&image)) {
    if (error) {
      *error = reader.errorString().toStdString();
      if (error->empty()) *error = "Cannot load " + path + " as a bitmap";
    }
    return {};
  }
  return image;
}

std::string CheckPreview(const std::string& path) {
  std::string error;
  LoadPreviewImage(path, &error);
  return error;
}

}  // namespace kws
