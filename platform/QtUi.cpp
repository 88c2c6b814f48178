#include "platform/QtUi.h"

#include "platform/AppInfo.h"
#include "platform/UiServices.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

namespace plat {
namespace {

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
        // The close box of a box with a Cancel (or a lone OK) gives that button, as it does on Windows.
        box.exec();
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
        bool ok = false;
        const QString text = QInputDialog::getText(QApplication::activeWindow(), title.isEmpty() ? appTitle() : title,
                                                   prompt, QLineEdit::Normal, defaultText, &ok);
        if (answer)
            *answer = ok ? text : QString();
        return ok;
    }

    QString openFileName(const FileDialogRequest& r) override {
        QString start = r.fileName.isEmpty() ? r.folder : r.folder + u'/' + r.fileName;
        return QFileDialog::getOpenFileName(r.parent, r.title, start, r.filter);
    }

    QStringList openFileNames(const FileDialogRequest& r) override {
        return QFileDialog::getOpenFileNames(r.parent, r.title, r.folder, r.filter);
    }

    QString saveFileName(const FileDialogRequest& r) override {
        QFileDialog dlg(r.parent, r.title, r.folder, r.filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        if (!r.defaultSuffix.isEmpty())
            dlg.setDefaultSuffix(r.defaultSuffix);
        if (!r.fileName.isEmpty())
            dlg.selectFile(r.fileName);
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return {};
        return dlg.selectedFiles().first();
    }

    QString folderName(const FileDialogRequest& r) override {
        return QFileDialog::getExistingDirectory(r.parent, r.title, r.folder);
    }

    bool chooseFont(QFont* font, QWidget* parent) override {
        bool ok = false;
        const QFont f = QFontDialog::getFont(&ok, *font, parent);
        if (ok)
            *font = f;
        return ok;
    }

    int execDialog(QDialog* dialog) override { return dialog->exec(); }
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
