#include "ui/picture_kind.h"

#include <QImageReader>
#include <QStringList>
#include <filesystem>
#include <system_error>

#include "fit/bitmap_file.h"
#include "ui/window_support.h"

namespace kws {

namespace {

QString PicturePatterns() {
  QStringList patterns;
  for (const QByteArray& format : QImageReader::supportedImageFormats()) {
    patterns << QStringLiteral("*.") + QString::fromLatin1(format);
  }
  return QStringLiteral("Pictures (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

}  // namespace

PictureKind KindOfPicture(const std::string& name) {
  if (ReadConvertibleBitmap(name)) return PictureKind::kPipelineBitmap;
  // Only a file is read: a pipe or a device would hold the window up.
  std::error_code error;
  if (!std::filesystem::is_regular_file(std::filesystem::path(name), error)) return PictureKind::kNoPicture;
  QImageReader reader(ShownPath(name));
  return reader.canRead() ? PictureKind::kImportable : PictureKind::kNoPicture;
}

QString ImportFilter() { return PicturePatterns() + QStringLiteral(";;All files (*)"); }

QString OpenFilter() { return kBitmapFilter + QStringLiteral(";;") + PicturePatterns(); }

}  // namespace kws
