// Writes the program icon, drawn by the window's own artwork, as the PNG
// files of an icon theme: DIR/<N>x<N>/apps/kestro-welcome.png for each size.
//   kestro-welcome-icons DIR SIZE...
// The build runs it for the installed icons; it needs no display.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "ui/artwork.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: kestro-welcome-icons DIR SIZE...\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 1 || size > 1024) {
      std::fprintf(stderr, "kestro-welcome-icons: not an icon size: %s\n", argv[i]);
      return 2;
    }
    const QString folder = dir + QStringLiteral("/%1x%1/apps").arg(size);
    const QString file = folder + QStringLiteral("/kestro-welcome.png");
    if (!QDir().mkpath(folder) || !kws::ProgramIconPixmap(size).save(file)) {
      std::fprintf(stderr, "kestro-welcome-icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
