#pragma once
// The dialog services for benchmarks: every message box is answered OK, every other question is cancelled,
// so nothing waits for a user while a benchmark runs. Installed for the life of the object.
#include "platform/UiServices.h"

class AlwaysOkUi final : public plat::UiServices {
public:
    AlwaysOkUi() { plat::setUi(this); }
    ~AlwaysOkUi() override { plat::setUi(nullptr); }
    AlwaysOkUi(const AlwaysOkUi&) = delete;
    AlwaysOkUi& operator=(const AlwaysOkUi&) = delete;

    int messageBox(const QString&, int, const QString&) override { return plat::IDOK; }
    bool inputBox(const QString&, const QString&, const QString&, QString*) override { return false; }
    QString openFileName(const plat::FileDialogRequest&) override { return {}; }
    QStringList openFileNames(const plat::FileDialogRequest&) override { return {}; }
    QString saveFileName(const plat::FileDialogRequest&) override { return {}; }
    QString folderName(const plat::FileDialogRequest&) override { return {}; }
    bool chooseFont(QFont*, QWidget*) override { return false; }
    int execDialog(QDialog*) override { return 0; }
};
