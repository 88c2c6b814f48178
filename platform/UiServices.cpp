#include "platform/UiServices.h"

namespace plat {
namespace {

// Without a window system every question goes unanswered: boxes give 0, dialogs are cancelled. Programs with
// windows install the Qt implementation (platform/QtUi.h) at start-up.
class HeadlessUi final : public UiServices {
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

HeadlessUi g_headless;
UiServices* g_default = nullptr;
UiServices* g_current = nullptr;

} // namespace

UiServices& ui() {
    if (g_current)
        return *g_current;
    return g_default ? *g_default : g_headless;
}

void setUi(UiServices* services) {
    g_current = services;
}

void setDefaultUi(UiServices* services) {
    g_default = services;
}

} // namespace plat
