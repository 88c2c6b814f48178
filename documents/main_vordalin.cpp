// The main program: area files of leak-noise loggers.
#include "core/Seams.h"
#include "core/Startup.h"
#include "documents/DocumentFiles.h"
#include "documents/LoggerCommands.h"
#include "documents/MergeCommands.h"
#include "documents/frmDMAEdit.h"
#include "documents/frmMain.h"
#include "platform/AppInfo.h"
#include "transfer/TransferFolders.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>

namespace {
// Start-up windows that later parts of the program provide; until then they are quiet.
struct StartupWindows final : IStartupWindows {
    void startAutoSyncWatcher() override {}
    void initTransferFolders() override { InitTransferFolders(); }
    void loadRecordEditorHidden() override {
        LoadRecordEditor(seams::mainWindow ? seams::mainWindow->widget() : nullptr);
    }
    bool showMapWindow() override { return false; }
};
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "vordalin needs a graphical display: set DISPLAY (or run it under xvfb-run).\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vordalin"));
    plat::setAppTitle(QStringLiteral("Vordalin"));
    QApplication::setQuitOnLastWindowClosed(true);

    StartupWindows startup;
    RegisterMergeCommands();
    RegisterEditingCommands();
    frmMain* mainWindow = new frmMain;
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    seams::mainWindow = mainWindow;
    seams::status = mainWindow;
    seams::startupWindows = &startup;
    DocumentHost documentHost;
    seams::documents = &documentHost;
    SetDocumentArea(mainWindow->mdiArea());
    QObject::connect(mainWindow, &QObject::destroyed, [] {
        seams::mainWindow = nullptr;
        seams::status = nullptr;
        seams::documents = nullptr;
    });

    QStringList args = QApplication::arguments();
    args.removeFirst();
    Main(args);
    return app.exec();
}
