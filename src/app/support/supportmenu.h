#pragma once

class QMenu;

// Adds the items that reach the support windows and the maker's links to a menu (the Help menu).
// The windows are made on first use and belong to the menu.
void addSupportMenuItems(QMenu *menu);
