#include "ui/window_support.h"

#include <QDir>
#include <QScreen>

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

namespace {

// The panel opens below the window, which grows by it; where the screen has
// no room for that, the window would move up or its preview shrink, and the
// button just pressed, or the status bar's, would move under the pointer.
// Then it stays closed: the status line still says what went wrong, and View
// > Activity log opens it, making room as it does.
bool PanelOpensInPlace(const LogPanel& panel) {
  const QWidget* window = panel.window();
  if (!window || !window->isVisible() || !window->screen()) return true;
  const QRect available = window->screen()->availableGeometry();
  return window->frameGeometry().bottom() + panel.sizeHint().height() <= available.bottom();
}

}  // namespace

void ShowLogPanel(LogPanel& panel) {
  if (!panel.isVisible() && PanelOpensInPlace(panel)) panel.show();
}

}  // namespace kws
