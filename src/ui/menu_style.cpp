#include "ui/menu_style.h"

#include <QMenuBar>
#include <QString>

namespace kws {

void StyleMenuBar(QMenuBar* menu_bar) {
  const QString sheet = QStringLiteral(
      "QMenuBar { background: #1f3a56; color: #f2f6fa; }"
      "QMenuBar::item { padding: 3px 10px; background: transparent; border: 1px solid transparent; }"
      "QMenuBar::item:selected, QMenuBar::item:pressed { background: #2d5478; border: 1px solid #ffb450; }"
      "QMenu { background: #f4f7fa; color: #13263a; border: 1px solid #1f3a56; padding: 2px; }"
      "QMenu::item { padding: 4px 28px 4px 10px; border: 1px solid transparent; }"
      "QMenu::item:selected { background: #d9e7f4; color: #13263a; border: 1px solid #1f3a56; }"
      "QMenu::item:disabled { color: #8a96a3; }"
      "QMenu::separator { height: 1px; background: #b8c6d4; margin: 3px 6px; }"
      // The menus hold no icons: no column is kept for them.
      "QMenu::icon { width: 0px; }");
  menu_bar->setStyleSheet(sheet);
}

}  // namespace kws
