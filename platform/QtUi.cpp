#include "platform/QtUi.h"

#include "platform/AppInfo.h"
#include "platform/UiServices.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <vector>

namespace plat {
namespace {

// Wraps every modal window the program opens. A window that stays on top of the others (the record editor)
// would hide a dialog parented to the main window, and the program would look frozen: while such a window
// is shown, the dialog stays on top as well. When the dialog closes, the window and the box that had the
// keyboard before get it back, so closing a dialog opened from the editor does not hand the focus to a list
// (which would load its own record into the editor over what the dialog just changed).
class ModalScope {
public:
    explicit ModalScope(QWidget* dialog)
        : window_(QApplication::activeWindow()), focus_(QApplication::focusWidget()) {
        if (dialog && anotherWindowStaysOnTop(dialog))
            dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    ~ModalScope() {
        if (window_ && window_->isVisible()) {
            window_->activateWindow();
            if (focus_ && focus_->isVisible() && focus_->window() == window_)
                focus_->setFocus(Qt::ActiveWindowFocusReason);
        }
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    static bool anotherWindowStaysOnTop(const QWidget* dialog) {
        const auto windows = QApplication::topLevelWidgets();
        for (const QWidget* w : windows)
            if (w != dialog && w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
                return true;
        return false;
    }
    QPointer<QWidget> window_;
    QPointer<QWidget> focus_;
};

int runModal(QDialog& dialog) {
    ModalScope scope(&dialog);
    return dialog.exec();
}

class QtUiServices final : public UiServices {
public:
    int messageBox(const QString& prompt, int style, const QString& title) override {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return 0;
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(title.isEmpty() ? appTitle() : title);
        box.setText(prompt);
        switch (style & 0xF0) {
        case MB_ICONHAND:
            box.setIcon(QMessageBox::Critical);
            break;
        case MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case MB_ICONEXCLAMATION:
            box.setIcon(QMessageBox::Warning);
            break;
        case MB_ICONASTERISK:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
        }
        struct B {
            QMessageBox::StandardButton std;
            int result;
        };
        std::vector<B> buttons;
        switch (style & 0x0F) {
        case MB_OKCANCEL:
            buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_ABORTRETRYIGNORE:
            buttons = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
            break;
        case MB_YESNOCANCEL:
            buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        case MB_YESNO:
            buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
            break;
        case MB_RETRYCANCEL:
            buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
            break;
        default:
            buttons = {{QMessageBox::Ok, IDOK}};
            break;
        }
        QMessageBox::StandardButtons set;
        for (const B& b : buttons)
            set |= b.std;
        box.setStandardButtons(set);
        const size_t def = (style & MB_DEFBUTTON3) ? 2 : (style & MB_DEFBUTTON2) ? 1 : 0;
        if (def < buttons.size())
            box.setDefaultButton(buttons[def].std);
        if (style & MB_SETFOREGROUND) {
            box.raise();
            box.activateWindow();
        }
        // The close box of a box with a Cancel (or a lone OK) gives that button, as on Windows.
        runModal(box);
        const auto clicked = box.standardButton(box.clickedButton());
        for (const B& b : buttons)
            if (b.std == clicked)
                return b.result;
        for (const B& b : buttons)
            if (b.result == IDCANCEL)
                return IDCANCEL;
        return buttons.size() == 1 ? IDOK : 0;
    }

    bool inputBox(const QString& prompt, const QString& title, const QString& defaultText, QString* answer) override {
        QInputDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(title.isEmpty() ? appTitle() : title);
        dialog.setLabelText(prompt);
        dialog.setTextEchoMode(QLineEdit::Normal);
        dialog.setTextValue(defaultText);
        const bool ok = runModal(dialog) == QDialog::Accepted;
        if (answer)
            *answer = ok ? dialog.textValue() : QString();
        return ok;
    }

    QString openFileName(const FileDialogRequest& r) override {
        // A name without a folder starts in the working folder, not in the root.
        const QString start = r.fileName.isEmpty() ? r.folder
                              : r.folder.isEmpty() ? r.fileName
                                                   : r.folder + u'/' + r.fileName;
        QFileDialog dlg(r.parent, r.title, start, r.filter);
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFile);
        if (runModal(dlg) != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return {};
        return dlg.selectedFiles().first();
    }

    QStringList openFileNames(const FileDialogRequest& r) override {
        QFileDialog dlg(r.parent, r.title, r.folder, r.filter);
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(QFileDialog::ExistingFiles);
        if (runModal(dlg) != QDialog::Accepted)
            return {};
        return dlg.selectedFiles();
    }

    QString saveFileName(const FileDialogRequest& r) override {
        QFileDialog dlg(r.parent, r.title, r.folder, r.filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        // The commands ask about an existing file themselves, once; the dialog must not ask a second time.
        dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
        if (!r.defaultSuffix.isEmpty())
            dlg.setDefaultSuffix(r.defaultSuffix);
        if (!r.fileName.isEmpty())
            dlg.selectFile(r.fileName);
        if (runModal(dlg) != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return {};
        return dlg.selectedFiles().first();
    }

    QString folderName(const FileDialogRequest& r) override {
        QFileDialog dlg(r.parent, r.title, r.folder);
        dlg.setFileMode(QFileDialog::Directory);
        dlg.setOption(QFileDialog::ShowDirsOnly, true);
        if (runModal(dlg) != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return {};
        return dlg.selectedFiles().first();
    }

    bool chooseFont(QFont* font, QWidget* parent) override {
        QFontDialog dlg(*font, parent);
        if (runModal(dlg) != QDialog::Accepted)
            return false;
        *font = dlg.selectedFont();
        return true;
    }

    int execDialog(QDialog* dialog) override { return runModal(*dialog); }
};

} // namespace

void useQtUi() {
    static QtUiServices qt;
    setDefaultUi(&qt);
}

WaitCursor::WaitCursor() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        active_ = true;
    }
}

WaitCursor::~WaitCursor() {
    if (active_)
        QApplication::restoreOverrideCursor();
}

} // namespace plat

namespace plat {

void fitCaption(QWidget* window) {
    if (!window)
        return;
    QFont font = window->font();
    font.setBold(true);
    // Icon, three buttons and the frame's margins of a common title bar.
    constexpr int kTitleBarRoom = 110;
    const int wanted = QFontMetrics(font).horizontalAdvance(window->windowTitle()) + kTitleBarRoom;
    if (window->minimumWidth() < wanted)
        window->setMinimumWidth(wanted);
    if (window->width() < wanted)
        window->resize(wanted, window->height());
}

} // namespace plat
