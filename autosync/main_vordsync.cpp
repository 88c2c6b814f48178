// vordsync: one run of the PDA auto-sync, started by the main program's "Synchronise PDA" command.
#include "autosync/UnattendedUi.h"
#include "autosync/frmAutoSync.h"
#include "platform/AppInfo.h"
#include "platform/QtUi.h"

#include <QApplication>

#include <exception>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    plat::setAppTitle(QStringLiteral("VordSync"));
    plat::useQtUi();
    const std::unique_ptr<UnattendedUi> unattended = UnattendedUi::fromEnvironment();
    if (unattended)
        plat::setUi(unattended.get());
    int code = 0;
    // Whatever goes wrong in the run ends it with a message, never with an exception through the event loop.
    try {
        frmAutoSync form;
        form.Form_Load();
        // A run that left files behind ends with status 1, so a scheduled run can tell it from a clean one:
        // a failed copy, a refused name, or queued files that found no device.
        if (form.LeftFilesBehind())
            code = 1;
    } catch (const std::exception& e) {
        plat::ui().messageBox(QStringLiteral("VordSync stopped: ") + QString::fromLocal8Bit(e.what()), 0,
                              QStringLiteral("VordSync"));
        code = 1;
    } catch (...) {
        plat::ui().messageBox(QStringLiteral("VordSync stopped."), 0, QStringLiteral("VordSync"));
        code = 1;
    }
    plat::setUi(nullptr);
    return code;
}
