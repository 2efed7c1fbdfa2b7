// File > Open Recent: the files last opened, newest first, and a way to
// clear the list; remembered between sessions.
#pragma once

#include <QStringList>
#include <functional>

class QMenu;

namespace kws {

class RecentMenu {
 public:
  static constexpr int kMaxFiles = 8;

  // menu: the submenu this fills. may_open: whether a picture may be opened
  // now (not while a run goes on). open: what choosing a file does.
  RecentMenu(QMenu* menu, std::function<bool()> may_open, std::function<void(const QString&)> open);

  // The files, newest first.
  QStringList Files() const;
  // A file opened: first in the list, which keeps the newest kMaxFiles.
  void Add(const QString& path);
  // The menu as the list stands now.
  void Update();
  // The submenu is usable while pictures may be opened and it lists a file.
  void SetEnabled(bool may_open);

 private:
  QMenu* menu_;
  std::function<bool()> may_open_;
  std::function<void(const QString&)> open_;
};

}  // namespace kws
