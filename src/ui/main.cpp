// The window. Started with a picture, as a file manager's "Open with" does,
// it opens that picture; --help and --version answer on the terminal.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "driver/startup.h"
#include "fileio/name_text.h"
#include "ui/tform1.h"

namespace {

constexpr const char* kProgram = "kestro-welcome";

const char* const kDescription =
    "Turns a 720 x 576, 8-bit bitmap into the receivers' USB and serial update images.\n"
    "\n"
    "A PICTURE named here opens as File > Open opens it when it is such a bitmap; any\n"
    "other picture (PNG, JPEG, GIF, a bitmap of another size or kind, ...) is imported\n"
    "into one in the Input folder first, as File > Import picture... does.\n"
    "The same work without a window: kestro-welcome-cli.";

int UsageError(const QString& text) {
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, qPrintable(text), kProgram);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Qt takes its own options (-platform, -style, ...) out of argv here.
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kws::kAppTitle));
  QApplication::setDesktopFileName(QStringLiteral("kestro-welcome"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QString::fromLatin1(kDescription));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Show this help and exit."));
  const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
  parser.addOption(help);
  parser.addOption(version);
  parser.addPositionalArgument(QStringLiteral("PICTURE"), QStringLiteral("The picture to open."),
                               QStringLiteral("[PICTURE]"));
  // File names are bytes: carried losslessly, so that a name that is not
  // UTF-8 still names its file.
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromStdU16String(kws::NameToUtf16(argv[i]));
  if (!parser.parse(args)) return UsageError(parser.errorText());
  if (parser.isSet(help)) {
    // Qt names the program as it was started, a path perhaps; the help names
    // it as it is installed.
    QString text = parser.helpText();
    const QString started = QStringLiteral("Usage: ") + QCoreApplication::arguments().value(0);
    if (text.startsWith(started)) text.replace(0, started.size(), QStringLiteral("Usage: ") + QLatin1String(kProgram));
    std::fputs(qPrintable(text), stdout);
    return 0;
  }
  if (parser.isSet(version)) {
    std::printf("%s %s\n", kProgram, kws::FileVersion().c_str());
    return 0;
  }
  const QStringList pictures = parser.positionalArguments();
  if (pictures.size() > 1) return UsageError(QStringLiteral("one picture at most"));

  kws::TForm1 form;
  form.show();
  if (!pictures.isEmpty()) {
    // Once the window is on the screen: an import takes a moment.
    const std::string name = kws::NameFromUtf16(pictures.first().toStdU16String());
    const QString picture =
        QString::fromStdU16String(kws::NameToUtf16(std::filesystem::absolute(name).lexically_normal().string()));
    QTimer::singleShot(0, &form, [&form, picture] { form.OpenFromCommandLine(picture); });
  }
  return QApplication::exec();
}
