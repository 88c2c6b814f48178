#pragma once
// The close steps every form shares. A form derives from plat::Form<its Qt window class> and overrides the
// steps it needs: Form_QueryUnload may keep the form open (a cancelled save question), Form_Unload runs once
// when the form really goes (it stores its size, lets go of what it holds). Closing again after the unload
// (Qt closes a sub-window twice: the frame and the widget) does not ask again.
#include <QCloseEvent>

namespace plat {

template <class Window>
class Form : public Window {
public:
    using Window::Window;

    // True once the form has been unloaded (also while its deletion is still pending).
    bool unloaded() const { return unloaded_; }

protected:
    // Set cancel to keep the form open.
    virtual void Form_QueryUnload(bool& cancel) {}
    virtual void Form_Unload() {}

    void closeEvent(QCloseEvent* event) override {
        if (!unloaded_) {
            bool cancel = false;
            Form_QueryUnload(cancel);
            if (cancel) {
                event->ignore();
                return;
            }
            Form_Unload();
            unloaded_ = true;
        }
        Window::closeEvent(event);
    }

private:
    bool unloaded_ = false;
};

} // namespace plat
