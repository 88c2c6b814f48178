// vordsync: one run of the PDA auto-sync, started by the main program's "Synchronise PDA" command.
#include "autosync/UnattendedUi.h"
#include "autosync/frmAutoSync.h"
#include "platform/AppInfo.h"
#include "platform/QtUi.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    plat::setAppTitle(QStringLiteral("VordSync"));
    plat::useQtUi();
    const std::unique_ptr<UnattendedUi> unattended = UnattendedUi::fromEnvironment();
    if (unattended)
        plat::setUi(unattended.get());
    int failed = 0;
    {
        frmAutoSync form;
        form.Form_Load();
        failed = form.FailedCopies();
    }
    plat::setUi(nullptr);
    // A run that left files behind ends with status 1, so a scheduled run can tell it from a clean one.
    return failed > 0 ? 1 : 0;
}
