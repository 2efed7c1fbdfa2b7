// Grabs the main window, with a picture loaded, into a PNG file:
//   QT_QPA_PLATFORM=offscreen kestro-welcome-screenshot OUT.png [PICTURE]
// Without PICTURE the built-in sample picture is loaded as if opened.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <sstream>

#include "cli/cli.h"
#include "ui/tform1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: kestro-welcome-screenshot OUT.png [PICTURE]\n");
    return 2;
  }
  QTemporaryDir home;
  QString picture = argc > 2 ? QString::fromLocal8Bit(argv[2]) : home.path() + "/Input/logo.bmp";
  kws::TForm1 form(nullptr, home.path());
  if (argc <= 2) {
    std::ostringstream out, err;
    kws::RunCli({"sample", picture.toStdString()}, out, err);
  }
  form.show();
  form.OpenPicture(QDir(picture).absolutePath());
  QApplication::processEvents();
  if (!form.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
