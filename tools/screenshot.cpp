// Grabs the main window into a PNG file, for the README:
//   kestro-welcome-screenshot OUT.png [PICTURE]
//   kestro-welcome-screenshot --failed-run OUT.png
// The window is drawn offscreen, on a full HD screen of its own, so that it
// shows at its fixed size whatever the display (if any) is.
// Without PICTURE the built-in sample picture is loaded as if opened. With
// --failed-run the sample is saved as a 24-bit bitmap, which the receivers do
// not take, and converted: the window shows the failure and its log panel.
// The working folders lie in a temporary folder; the window is shown with
// them where an installed program keeps them, in a neutral home folder, so
// that no reader takes the temporary folder's name for the tool's.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <exception>

#include "sample/sample_picture.h"
#include "fit/bitmap_file.h"
#include "ui/artwork.h"
#include "ui/tform1.h"

namespace {

constexpr char kShownBase[] = "/home/user/Kestro";

// Every text of the window that names the working folders names them under
// shown instead: the status line, the outcome field, the log panel.
void ShowBaseAs(QWidget& window, const QString& base, const QString& shown) {
  for (QLabel* label : window.findChildren<QLabel*>()) {
    label->setText(label->text().replace(base, shown));
    label->setToolTip(label->toolTip().replace(base, shown));
  }
  for (QListWidget* list : window.findChildren<QListWidget*>()) {
    for (int row = 0; row < list->count(); ++row)
      list->item(row)->setText(list->item(row)->text().replace(base, shown));
  }
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir home;
  const QString screen = home.path() + "/screen.json";
  {
    QFile file(screen);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(R"({ "screens": [ { "name": "screen", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
                   R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })") < 0) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(screen));
      return 1;
    }
  }
  qputenv("QT_QPA_PLATFORM", QFile::encodeName(QStringLiteral("offscreen:configfile=") + screen));
  QApplication app(argc, argv);
  const bool failed_run = argc > 1 && std::strcmp(argv[1], "--failed-run") == 0;
  if (failed_run) {
    --argc;
    ++argv;
  }
  if (argc < 2 || (failed_run && argc > 2)) {
    std::fprintf(stderr,
                 "usage: kestro-welcome-screenshot OUT.png [PICTURE]\n"
                 "       kestro-welcome-screenshot --failed-run OUT.png\n");
    return 2;
  }
  // The window's remembered choices stay in the temporary folder.
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path() + "/settings");
  QString picture = argc > 2 ? QString::fromLocal8Bit(argv[2]) : home.path() + "/Input/logo.bmp";
  kws::TForm1 form(nullptr, home.path());
  if (failed_run) {
    picture = home.path() + "/Input/logo24.bmp";
    if (!kws::SamplePreviewImage().convertToFormat(QImage::Format_RGB888).save(picture, "BMP")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(picture));
      return 1;
    }
  } else if (argc <= 2) {
    try {
      kws::WriteBitmap8(QFile::encodeName(picture).toStdString(), kws::MakeSamplePicture());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(picture), e.what());
      return 1;
    }
  }
  form.show();
  form.OpenPicture(QDir(picture).absolutePath());
  if (failed_run) form.ButtonGoClick();
  QApplication::processEvents();
  ShowBaseAs(form, QDir(home.path()).absolutePath(), QString::fromUtf8(kShownBase));
  QApplication::processEvents();
  if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
