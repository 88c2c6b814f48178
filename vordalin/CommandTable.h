#pragma once
// The main window's menus and toolbar as data: one row per menu, item, separator and button, each naming the
// command it runs. A row without a command belongs to a part of the program that is not built yet: its item
// or button is shown but stays disabled. To wire a command, name its function (call<F>) or frmMain's member
// (member<&frmMain::F>, indexed<&frmMain::F> for items with an index) in its row of CommandTable.cpp.
#include <vector>

class frmMain;

namespace cmd {

using Handler = void (*)(frmMain&, int index);

template <void (frmMain::*F)()>
void member(frmMain& m, int) {
    (m.*F)();
}
template <void (frmMain::*F)(int)>
void indexed(frmMain& m, int index) {
    (m.*F)(index);
}
template <void (*F)()>
void call(frmMain&, int) {
    F();
}

enum class Kind { Menu, EndMenu, Item, Separator };

// One row of the menu tree: menus open a level, items carry their command (nullptr: not built yet, disabled).
struct MenuEntry {
    Kind kind;
    const char* name;
    const char* caption; // design caption, kept when the text number is 0
    int text;
    const char* shortcut;
    Handler handler;
    int index;
    bool checkable;
    bool checked;
};

// One toolbar button (key nullptr: a separator); handler nullptr: not built yet, disabled.
struct ToolEntry {
    const char* key;
    const char* tooltip;
    int text;
    const char* themeIcon;
    const char* bundledIcon;
    Handler handler;
};

const std::vector<MenuEntry>& menuTable();
const std::vector<ToolEntry>& toolTable();

} // namespace cmd
