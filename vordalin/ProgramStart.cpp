#include "vordalin/ProgramStart.h"

#include "core/DMAModule.h"
#include "core/Settings.h"
#include "core/Startup.h"
#include "core/frmSplash.h"
#include "documents/frmDMAEdit.h"
#include "transfer/TransferFolders.h"
#include "vordalin/SubsystemCommands.h"
#include "vordalin/frmMain.h"

void Main(frmMain& main, const QStringList& arguments) {
    InitDatabaseStore();
    LoadSettings();
    {
        frmSplash splash;
        splash.SplashDelay = kStartupSplashDelay;
        splash.showModal();
    }
    StartSubsystems(main); // the auto-import watcher, loaded hidden, and the printer for map and direct link
    InitTransferFolders();
    LoadRecordEditor(&main); // made hidden; View, Editor shows it
    main.show();
    OpenStartupArguments(arguments);
}
