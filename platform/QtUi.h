#pragma once
// The Qt side of the dialog services: message boxes, input boxes and file dialogs as Qt widgets.

class QWidget;

namespace plat {

// Makes the Qt implementation the default answer of plat::ui(); programs with windows call it at start-up.
void useQtUi();

// Hourglass pointer for the length of a scope; does nothing without a GUI application.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool active_ = false;
};

// Widens a top-level window so the window manager's title bar shows its whole caption (text in a bold title
// font, plus room for the icon and the buttons). Call after setting the caption; it never narrows a window.
void fitCaption(QWidget* window);

} // namespace plat
