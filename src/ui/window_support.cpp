#include "ui/window_support.h"

#include <QDir>

#include "fileio/name_text.h"
#include "ui/log_panel.h"

namespace kws {

std::string LocalName(const QString& path) { return NameFromUtf16(path.toStdU16String()); }
QString ShownPath(const std::string& name) { return QString::fromStdU16String(NameToUtf16(name)); }

std::string HomeFolder() { return LocalName(QDir::homePath()); }

QString PlainToolTip(const QString& text) {
  if (text.isEmpty()) return {};
  return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

std::unique_ptr<QSettings> Settings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kestro-welcome"),
                                     QStringLiteral("kestro-welcome"));
}

std::optional<bool> ParseSwitch(const std::string& text) {
  if (text == "true") return true;
  if (text == "false") return false;
  return std::nullopt;
}

void ShowLogPanel(LogPanel& panel) {
  if (!panel.isVisible()) panel.show();
}

}  // namespace kws
