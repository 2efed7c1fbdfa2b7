// The main menu's own look: fixed colours (readable in light and dark desktop
// themes alike, since none of them come from the theme), a frame around the
// selected item, and no icon column.
#pragma once

class QMenuBar;

namespace kws {

// Styles the menu bar and every menu in it; no other menu of the window.
void StyleMenuBar(QMenuBar* menu_bar);

}  // namespace kws
