// The main menu's own look: fixed colours (readable in light and dark desktop
// themes alike, since none of them come from the theme), a frame around the
// selected item, and no icon column.
#pragma once

class QMenuBar;

namespace kws {

struct MenuStyleOptions {
  bool auto_detect = false;       // style every menu found in the window
  bool style_containers = false;  // style container controls too
  int icon_column_width = 0;
};

class MenuStyler {
 public:
  explicit MenuStyler(MenuStyleOptions options = {}) : options_(options) {}
  // Styles the menu bar and every menu in it.
  void Activate(QMenuBar* menu_bar) const;

 private:
  MenuStyleOptions options_;
};

}  // namespace kws
