// What the window's rooms share: file names as the file system knows them,
// the remembered choices, plain tooltips.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <optional>
#include <string>

namespace kws {

class LogPanel;

// A file name from a dialog, a drop or the command line as the bytes the
// file system knows, and back: bytes that are not UTF-8 survive the trip
// (see NameToUtf16), so "caf\xe9.bmp" is still found.
std::string LocalName(const QString& path);
QString ShownPath(const std::string& name);

std::string HomeFolder();

// The filter of the dialogs that open or save a bitmap.
inline const QString kBitmapFilter = QStringLiteral("Windows Bitmap (*.bmp)");

// A tooltip shows the text as it is: Qt would take a name that looks like
// markup for rich text.
QString PlainToolTip(const QString& text);

// The window's remembered choices: recent files, the dialogs' folders.
std::unique_ptr<QSettings> Settings();

// A remembered choice, stored by the name its parser reads; the fallback for
// a name it does not know (an older or hand-edited settings file).
template <class T>
T StoredChoice(const QSettings& settings, const QString& key, std::optional<T> (*parse)(const std::string&),
               T fallback) {
  return parse(settings.value(key).toString().toStdString()).value_or(fallback);
}

// A switch as the settings file stores it.
std::optional<bool> ParseSwitch(const std::string& text);

// Opens the activity log panel for the user, unless it is open already or
// the window could not grow by it where it stands.
void ShowLogPanel(LogPanel& panel);

}  // namespace kws
