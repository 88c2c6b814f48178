#include "transfer/TransferFolders.h"

#include "platform/AppInfo.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFile>

QString TransferToFolder;
QString TransferFromFolder;

namespace {
void clearFolder(const QString& folder) {
    if (folder.isEmpty())
        return;
    for (const QString& name : plat::listFiles(folder, QStringLiteral("*.pdb")))
        QFile::remove(folder + u'/' + name);
    for (const QString& name : plat::listFiles(folder, QStringLiteral("xfer.err")))
        QFile::remove(folder + u'/' + name);
}
} // namespace

void InitTransferFolders() {
    // One spelling for the exchange tree: an existing folder of any letter case is taken as it is.
    const QString base = plat::programDir();
    const QString rovemark = plat::resolveIn(base, QStringLiteral("rovemark"));
    QDir().mkpath(rovemark);
    TransferFromFolder = plat::resolveIn(rovemark, QStringLiteral("from"));
    TransferToFolder = plat::resolveIn(rovemark, QStringLiteral("to"));
    QDir().mkpath(TransferFromFolder);
    QDir().mkpath(TransferToFolder);
    ClearToFolder();
    ClearFromFolder();
}

void ClearToFolder() {
    clearFolder(TransferToFolder);
}
void ClearFromFolder() {
    clearFolder(TransferFromFolder);
}
