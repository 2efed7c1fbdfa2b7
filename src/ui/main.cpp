#include <QApplication>

#include "driver/startup.h"
#include "ui/tform1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kws::kAppTitle));
  QApplication::setDesktopFileName(QStringLiteral("kestro-welcome"));
  kws::TForm1 form;
  form.show();
  return QApplication::exec();
}
