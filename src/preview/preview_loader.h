// Loads a picture file the way the preview shows it: decoded as a Windows
// bitmap by Qt's image reader. The window and the command line both decide
// with it, so they agree on which files are pictures.
#pragma once

#include <QImage>
#include <string>

namespace kws {

// The decoded picture, or a null image with why it cannot be shown in *error.
// Only a regular file no larger than a bitmap can be (kMaxBitmapFileBytes)
// is read; anything else is refused at once with the file layer's reason.
QImage LoadPreviewImage(const std::string& path, std::string* error);

// Empty when the file can be shown, else why not.
std::string CheckPreview(const std::string& path);

}  // namespace kws
