#include "picture/text_setting.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace kws {

bool EnsureTextSetting() {
  if (QCoreApplication* app = QCoreApplication::instance()) return qobject_cast<QGuiApplication*>(app) != nullptr;
  // The offscreen platform whatever the environment names: the command line
  // runs where no display may be, and draws only into pictures.
  static int argc = 3;
  static char name[] = "kestro-welcome-cli";
  static char platform[] = "-platform";
  static char offscreen[] = "offscreen";
  static char* argv[] = {name, platform, offscreen, nullptr};
  // Without a desktop session Qt warns of what it does not need here (no
  // runtime folder); those words are not the user's concern.
  const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  new QGuiApplication(argc, argv);
  qInstallMessageHandler(previous);
  return true;
}

}  // namespace kws
