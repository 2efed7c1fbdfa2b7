// The window. Started with a picture, as a file manager's "Open with" does,
// it opens that picture; --help and --version answer on the terminal.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <string_view>

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

// The arguments as the window takes them; a reply on the terminal instead
// (--help, --version, a usage error) when exit_code is set.
struct Arguments {
  int exit_code = -1;
  QStringList pictures;
};

Arguments ParseArguments(int argc, char** argv) {
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
  Arguments parsed;
  if (!parser.parse(args)) {
    parsed.exit_code = UsageError(parser.errorText());
  } else if (parser.isSet(help)) {
    // Qt names the program as it was started, a path perhaps; the help names
    // it as it is installed.
    QString text = parser.helpText();
    const QString started = QStringLiteral("Usage: ") + args.value(0);
    if (text.startsWith(started)) text.replace(0, started.size(), QStringLiteral("Usage: ") + QLatin1String(kProgram));
    std::fputs(qPrintable(text), stdout);
    parsed.exit_code = 0;
  } else if (parser.isSet(version)) {
    std::printf("%s %s\n", kProgram, kws::FileVersion().c_str());
    parsed.exit_code = 0;
  } else if (parser.positionalArguments().size() > 1) {
    parsed.exit_code = UsageError(QStringLiteral("one picture at most"));
  }
  parsed.pictures = parser.positionalArguments();
  return parsed;
}

// --help and --version are answered on the terminal, where there may be no
// display at all (over SSH, in a console): the window's application, which
// needs one, is not made for them.
bool OnlyAsksForText(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") return false;
    if (arg == "-h" || arg == "--help" || arg == "--version") return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (OnlyAsksForText(argc, argv)) {
    const QCoreApplication app(argc, argv);
    const Arguments parsed = ParseArguments(argc, argv);
    return parsed.exit_code >= 0 ? parsed.exit_code : 0;
  }
  // Qt takes its own options (-platform, -style, ...) out of argv here.
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kws::kAppTitle));
  QApplication::setDesktopFileName(QStringLiteral("kestro-welcome"));
  const Arguments parsed = ParseArguments(argc, argv);
  if (parsed.exit_code >= 0) return parsed.exit_code;
  const QStringList& pictures = parsed.pictures;

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
