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
    {
        frmAutoSync form;
        form.Form_Load();
    }
    plat::setUi(nullptr);
    return 0;
}
