#include "transfer/AutoSyncLaunch.h"

#include "core/Shared.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "lang/LangText.h"

#include <QProcess>
#include <QWidget>

QString AutoExportFolder() {
    return plat::resolveIn(plat::programDir(), QStringLiteral("Rovemark\\AutoExport"));
}

QString AutoImportFolder() {
    return plat::resolveIn(plat::programDir(), QStringLiteral("Rovemark\\AutoImport"));
}

QString SyncUtilityPath() {
    return plat::programDir() + QStringLiteral("/vordsync");
}

void SyncUtilityLaunch(QWidget* mainWindow) {
    QProcess utility;
    utility.setProgram(SyncUtilityPath());
    utility.setProcessChannelMode(QProcess::ForwardedChannels);
    utility.start();
    if (!utility.waitForStarted()) {
        ShowMessage(LoadLangString(txt::SyncUtilityMissing) + SyncUtilityPath());
        return;
    }
    // The utility ends by itself once its one run is over; every device wait inside it is bounded.
    utility.waitForFinished(-1);
    if (mainWindow) {
        mainWindow->raise();
        mainWindow->activateWindow();
    }
}
