// What each window test case starts from: the window's remembered choices in
// a folder of the test's own, cleared, and a new window, shown, on working
// folders made anew.
#pragma once

#include <QLabel>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "log/activity_log.h"
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

// What a window test class has and starts each case from: its own folder,
// its scripted dialogs and a fresh window; the slots initTestCase, init and
// cleanup call StartProgram, StartCase and EndCase.
template <class ScriptedDialogs>
class WindowTestCase {
 protected:
  QTemporaryDir dir_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<TForm1> form_;

  QString Home() const { return dir_.path() + "/home"; }
  template <class T>
  T* Child(const char* name) const {
    return form_->findChild<T*>(QString::fromLatin1(name));
  }
  QString Status() const { return Child<QLabel>("StatusText")->text(); }
  QString Outcome() const { return Child<QLabel>("OutcomeText")->text(); }
  void Click() { QTest::mouseClick(Child<QToolButton>("ButtonGo"), Qt::LeftButton); }
  static QSettings Settings() { return WindowSettings(); }

  // The window's remembered choices go to a folder of the test's own.
  void StartProgram() { KeepWindowSettingsIn(dir_.path() + "/settings"); }
  void StartCase() {
    dialogs_ = ScriptedDialogs();
    form_ = FreshWindow(dialogs_, Home());
  }
  void EndCase() {
    form_.reset();
    SetLogFilePath("");
  }
};

}  // namespace kws::test
