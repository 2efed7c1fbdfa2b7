#include "ui/recent_menu.h"

#include <QFileInfo>
#include <QMenu>
#include <QSettings>

#include "ui/outcome_text.h"
#include "ui/window_support.h"

namespace kws {

RecentMenu::RecentMenu(QMenu* menu, std::function<bool()> may_open, std::function<void(const QString&)> open)
    : menu_(menu), may_open_(std::move(may_open)), open_(std::move(open)) {}

QStringList RecentMenu::Files() const { return Settings()->value(QStringLiteral("recent/files")).toStringList(); }

void RecentMenu::Add(const QString& path) {
  QStringList files = Files();
  const QString absolute = QFileInfo(path).absoluteFilePath();
  files.removeAll(absolute);
  files.prepend(absolute);
  while (files.size() > kMaxFiles) files.removeLast();
  Settings()->setValue(QStringLiteral("recent/files"), files);
  Update();
}

void RecentMenu::Update() {
  menu_->clear();
  const QStringList files = Files();
  int number = 0;
  for (const QString& file : files) {
    ++number;
    const std::string name = LocalName(file);
    // A name shows as it is: "&" would be taken for a mnemonic.
    QString text =
        QString::fromStdString(ShownName(name) + "   " + ShortFolder(LocalName(QFileInfo(file).path()), HomeFolder()));
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* action =
        menu_->addAction(QStringLiteral("&%1  ").arg(number) + text, menu_, [this, file] { open_(file); });
    action->setToolTip(PlainToolTip(file));
  }
  if (!files.isEmpty()) {
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("Clear list"), menu_, [this] {
      Settings()->remove(QStringLiteral("recent/files"));
      Update();
    });
  }
  menu_->menuAction()->setEnabled(!files.isEmpty() && may_open_());
}

void RecentMenu::SetEnabled(bool may_open) { menu_->menuAction()->setEnabled(may_open && !Files().isEmpty()); }

}  // namespace kws
