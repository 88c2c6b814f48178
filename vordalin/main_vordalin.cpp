// The main program: area files of leak-noise loggers.
#include "core/ProgramWindows.h"
#include "platform/AppInfo.h"
#include "platform/QtUi.h"
#include "vordalin/ProgramStart.h"
#include "vordalin/frmMain.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "vordalin needs a graphical display: set DISPLAY (or run it under xvfb-run).\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vordalin"));
    plat::setAppTitle(QStringLiteral("Vordalin"));
    plat::useQtUi();
    QApplication::setQuitOnLastWindowClosed(true);

    // The main window is the program's windows for every layer below it; it unregisters itself when it goes.
    frmMain* mainWindow = new frmMain;
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    RegisterProgramWindows(mainWindow);

    QStringList args = QApplication::arguments();
    args.removeFirst();
    Main(*mainWindow, args);
    return app.exec();
}
