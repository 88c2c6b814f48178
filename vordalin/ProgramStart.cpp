#include "vordalin/ProgramStart.h"

#include "core/DMAModule.h"
#include "core/Settings.h"
#include "core/Startup.h"
#include "core/frmSplash.h"
#include "documents/frmDMAEdit.h"
#include "platform/UiServices.h"
#include "transfer/TransferFolders.h"
#include "vordalin/frmMain.h"

void Main(frmMain& main, const QStringList& arguments) {
    InitDatabaseStore();
    LoadSettings();
    {
        frmSplash splash;
        splash.SplashDelay = kStartupSplashDelay;
        splash.showModal();
    }
    // The automatic synchronisation's folder watcher starts here once that part exists.
    InitTransferFolders();
    LoadRecordEditor(&main); // made hidden; View, Editor shows it
    main.show();
    OpenStartupArguments(arguments);
}

void ShowMapWindow() {
    plat::ui().messageBox(
        QStringLiteral("Could not start GPS function, please ensure that MapPoint is installed on your computer."),
        plat::MB_OK, QString());
}
