#pragma once
#include <QString>
#include <QStringList>

class QWidget;
class QDialog;
class QFont;

// Every modal interaction with the user goes through here: message boxes, input boxes, the common file and
// font dialogs and modal forms. Programs with windows use the Qt implementation (platform/QtUi.h); tests
// install a scripted one that answers what it was told to expect and fails the test on anything else, so no
// test waits on a window.
namespace plat {

// Button numbers a message box returns (0: no box could be shown).
enum MsgResult { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Style bits understood by messageBox.
enum MsgStyle {
    MB_OK = 0,
    MB_OKCANCEL = 1,
    MB_ABORTRETRYIGNORE = 2,
    MB_YESNOCANCEL = 3,
    MB_YESNO = 4,
    MB_RETRYCANCEL = 5,
    MB_ICONHAND = 16,
    MB_ICONQUESTION = 32,
    MB_ICONEXCLAMATION = 48,
    MB_ICONASTERISK = 64,
    MB_DEFBUTTON2 = 256,
    MB_DEFBUTTON3 = 512,
    MB_SETFOREGROUND = 0x10000,
};

struct FileDialogRequest {
    QWidget* parent = nullptr;
    QString title;
    QString folder;   // starting folder
    QString fileName; // proposed name
    QString filter;   // Qt filter text, e.g. "Logger files (*.pdb);;All files (*)"
    QString defaultSuffix;
};

class UiServices {
public:
    virtual ~UiServices() = default;
    // An empty title means the application title.
    virtual int messageBox(const QString& prompt, int style, const QString& title) = 0;
    // False when the user cancelled.
    virtual bool inputBox(const QString& prompt, const QString& title, const QString& defaultText, QString* answer) = 0;
    // Empty when cancelled.
    virtual QString openFileName(const FileDialogRequest& req) = 0;
    virtual QStringList openFileNames(const FileDialogRequest& req) = 0;
    virtual QString saveFileName(const FileDialogRequest& req) = 0;
    virtual QString folderName(const FileDialogRequest& req) = 0;
    virtual bool chooseFont(QFont* font, QWidget* parent) = 0;
    // Runs a modal form and returns its QDialog result. Scripted implementations fill its controls instead.
    virtual int execDialog(QDialog* dialog) = 0;
};

// Answers nobody is there to give: every question is cancelled and every box gives 0. Programs without
// windows use it as it stands; unattended runs and benchmarks derive from it and answer the boxes.
class CancellingUi : public UiServices {
public:
    int messageBox(const QString&, int, const QString&) override { return 0; }
    bool inputBox(const QString&, const QString&, const QString&, QString* answer) override {
        if (answer)
            answer->clear();
        return false;
    }
    QString openFileName(const FileDialogRequest&) override { return {}; }
    QStringList openFileNames(const FileDialogRequest&) override { return {}; }
    QString saveFileName(const FileDialogRequest&) override { return {}; }
    QString folderName(const FileDialogRequest&) override { return {}; }
    bool chooseFont(QFont*, QWidget*) override { return false; }
    int execDialog(QDialog*) override { return 0; }
};

UiServices& ui();
// Installs an implementation (not owned) over the default; nullptr goes back to the default.
void setUi(UiServices* services);
// The implementation used when none is installed (not owned): the Qt one in programs with windows
// (plat::useQtUi), otherwise one that answers nothing.
void setDefaultUi(UiServices* services);

} // namespace plat
