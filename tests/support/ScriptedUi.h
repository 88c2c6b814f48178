#pragma once
// A UiServices that answers only what a test told it to expect and fails the test on anything else, so a
// test can never wait on a modal window. Every message box shown is recorded.
#include "platform/UiServices.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

class ScriptedUi : public plat::UiServices {
public:
    struct Message {
        QString prompt;
        int style = 0;
        QString title;
    };

    ScriptedUi();           // installs itself
    ~ScriptedUi() override; // uninstalls; fails the test when expectations were left unused

    // Next message box answers with this button. When promptContains is given the prompt must contain it.
    ScriptedUi& expectMessage(int answer, const QString& promptContains = {});
    // Message boxes need not be scripted: every one is answered with this button (0: not allowed).
    ScriptedUi& allowAnyMessage(int answer = plat::IDOK);
    ScriptedUi& expectInput(const QString& answer, bool ok = true);
    ScriptedUi& expectOpenFile(const QString& path); // "" = cancelled
    ScriptedUi& expectOpenFiles(const QStringList& paths);
    ScriptedUi& expectSaveFile(const QString& path); // "" = cancelled
    ScriptedUi& expectFolder(const QString& path);
    // Next modal form: the handler fills its controls and returns the dialog result.
    ScriptedUi& expectDialog(std::function<int(QDialog*)> handler);

    const std::vector<Message>& messages() const { return messages_; }
    const std::vector<plat::FileDialogRequest>& fileRequests() const { return fileRequests_; }
    QStringList inputPrompts() const { return inputPrompts_; }
    bool allUsed() const;

    int messageBox(const QString& prompt, int style, const QString& title) override;
    bool inputBox(const QString& prompt, const QString& title, const QString& defaultText, QString* answer) override;
    QString openFileName(const plat::FileDialogRequest& req) override;
    QStringList openFileNames(const plat::FileDialogRequest& req) override;
    QString saveFileName(const plat::FileDialogRequest& req) override;
    QString folderName(const plat::FileDialogRequest& req) override;
    bool chooseFont(QFont* font, QWidget* parent) override;
    int execDialog(QDialog* dialog) override;

    // The dialog side, filled in by the widget test support (ensureApplication): this class itself needs no
    // widgets, so tests of the GUI-free layers link without them.
    static QString (*dialogName)(QDialog*);
    static void (*setDialogResult)(QDialog*, int);

private:
    // Every member but the kind has an initializer: each expectation sets only what it needs.
    struct Expected {
        enum Kind { Msg, Input, Open, OpenMany, Save, Folder, Dialog } kind;
        int answer = 0;
        QString text{};
        QStringList list{};
        bool ok = true;
        std::function<int(QDialog*)> handler{};
    };
    Expected take(Expected::Kind kind, const char* what, const QString& detail);

    std::deque<Expected> queue_;
    std::vector<Message> messages_;
    std::vector<plat::FileDialogRequest> fileRequests_;
    QStringList inputPrompts_;
    int anyMessageAnswer_ = 0;
};
