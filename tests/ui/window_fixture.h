// What each window test case starts from: the window's remembered choices in
// a folder of the test's own, cleared, and a new window, shown, on working
// folders made anew.
#pragma once

#include <QSettings>
#include <QString>
#include <filesystem>
#include <memory>

#include "ui/tform1.h"

namespace kws::test {

inline QSettings WindowSettings() {
  return QSettings(QSettings::IniFormat, QSettings::UserScope, "kestro-welcome", "kestro-welcome");
}

// Once per test program: the settings go below folder, not to the user's.
inline void KeepWindowSettingsIn(const QString& folder) {
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

inline std::unique_ptr<TForm1> FreshWindow(Dialogs& dialogs, const QString& home) {
  WindowSettings().clear();
  std::filesystem::remove_all(home.toStdString());
  auto form = std::make_unique<TForm1>(&dialogs, home);
  form->show();
  return form;
}

}  // namespace kws::test
