#include "ScriptedUi.h"

#include <gtest/gtest.h>

ScriptedUi::ScriptedUi() {
    plat::setUi(this);
}

ScriptedUi::~ScriptedUi() {
    plat::setUi(nullptr);
    EXPECT_TRUE(queue_.empty()) << queue_.size() << " scripted answer(s) were never asked for";
}

bool ScriptedUi::allUsed() const {
    return queue_.empty();
}

ScriptedUi& ScriptedUi::expectMessage(int answer, const QString& promptContains) {
    Expected e{Expected::Msg};
    e.answer = answer;
    e.text = promptContains;
    queue_.push_back(e);
    return *this;
}

ScriptedUi& ScriptedUi::allowAnyMessage(int answer) {
    anyMessageAnswer_ = answer;
    return *this;
}

ScriptedUi& ScriptedUi::expectInput(const QString& answer, bool ok) {
    Expected e{Expected::Input};
    e.text = answer;
    e.ok = ok;
    queue_.push_back(e);
    return *this;
}

ScriptedUi& ScriptedUi::expectOpenFile(const QString& path) {
    Expected e{Expected::Open};
    e.text = path;
    queue_.push_back(e);
    return *this;
}

ScriptedUi& ScriptedUi::expectOpenFiles(const QStringList& paths) {
    Expected e{Expected::OpenMany};
    e.list = paths;
    queue_.push_back(e);
    return *this;
}

ScriptedUi& ScriptedUi::expectSaveFile(const QString& path) {
    Expected e{Expected::Save};
    e.text = path;
    queue_.push_back(e);
    return *this;
}

ScriptedUi& ScriptedUi::expectFolder(const QString& path) {
    Expected e{Expected::Folder};
    e.text = path;
    queue_.push_back(e);
    return *this;
}

ScriptedUi& ScriptedUi::expectDialog(std::function<int(QDialog*)> handler) {
    Expected e{Expected::Dialog};
    e.handler = std::move(handler);
    queue_.push_back(e);
    return *this;
}

ScriptedUi::Expected ScriptedUi::take(Expected::Kind kind, const char* what, const QString& detail) {
    if (queue_.empty() || queue_.front().kind != kind) {
        ADD_FAILURE() << "unexpected " << what << ": " << detail.toStdString();
        Expected none{kind};
        none.ok = false;
        return none;
    }
    Expected e = queue_.front();
    queue_.pop_front();
    return e;
}

int ScriptedUi::messageBox(const QString& prompt, int style, const QString& title) {
    messages_.push_back({prompt, style, title});
    if (!queue_.empty() && queue_.front().kind == Expected::Msg) {
        Expected e = queue_.front();
        queue_.pop_front();
        if (!e.text.isEmpty()) {
            EXPECT_TRUE(prompt.contains(e.text))
                << "message \"" << prompt.toStdString() << "\" lacks \"" << e.text.toStdString() << "\"";
        }
        return e.answer;
    }
    if (anyMessageAnswer_ != 0)
        return anyMessageAnswer_;
    ADD_FAILURE() << "unexpected message box: " << prompt.toStdString();
    return 0;
}

bool ScriptedUi::inputBox(const QString& prompt, const QString& title, const QString& defaultText, QString* answer) {
    inputPrompts_ << prompt;
    Expected e = take(Expected::Input, "input box", prompt);
    if (answer)
        *answer = e.ok ? e.text : QString();
    return e.ok;
}

QString ScriptedUi::openFileName(const plat::FileDialogRequest& req) {
    fileRequests_.push_back(req);
    return take(Expected::Open, "open-file dialog", req.title).text;
}

QStringList ScriptedUi::openFileNames(const plat::FileDialogRequest& req) {
    fileRequests_.push_back(req);
    return take(Expected::OpenMany, "open-files dialog", req.title).list;
}

QString ScriptedUi::saveFileName(const plat::FileDialogRequest& req) {
    fileRequests_.push_back(req);
    return take(Expected::Save, "save-file dialog", req.title).text;
}

QString ScriptedUi::folderName(const plat::FileDialogRequest& req) {
    fileRequests_.push_back(req);
    return take(Expected::Folder, "folder dialog", req.title).text;
}

bool ScriptedUi::chooseFont(QFont*, QWidget*) {
    ADD_FAILURE() << "unexpected font dialog";
    return false;
}

QString (*ScriptedUi::dialogName)(QDialog*) = nullptr;
void (*ScriptedUi::setDialogResult)(QDialog*, int) = nullptr;

int ScriptedUi::execDialog(QDialog* dialog) {
    Expected e = take(Expected::Dialog, "modal form", dialogName ? dialogName(dialog) : QString());
    if (!e.handler)
        return 0; // rejected
    const int r = e.handler(dialog);
    if (setDialogResult)
        setDialogResult(dialog, r);
    return r;
}
