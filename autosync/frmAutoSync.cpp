#include "autosync/frmAutoSync.h"

#include "autosync/SyncMisc.h"
#include "autosync/SyncTexts.h"
#include "pdalink/PdaSupportInterface.h"
#include "platform/AppInfo.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/UiServices.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

using misc::LoadSyncText;
using misc::PdaSupportObject;

namespace {
const QString kDeviceExport = QLatin1String(pda::kDeviceExportFolder);
const QString kDeviceAutoImport = QLatin1String(pda::kDeviceAutoImportFolder);

bool isCsv(const QString& name) {
    return name.right(4).toUpper() == u".CSV";
}

void showSyncMessage(const QString& text) {
    plat::ui().messageBox(text, plat::MB_OK, plat::appTitle());
}

// A failed copy: the text, the file, and why, as the library gave it (the system's reason where there is one).
void showCopyFailed(int textId, const QString& file, const pda::CallStatus& status) {
    QString text = LoadSyncText(textId) + QStringLiteral("\r\n  ") + file;
    if (!status.description.isEmpty())
        text += QStringLiteral("\r\n") + status.description;
    showSyncMessage(text);
}
} // namespace

frmAutoSync::frmAutoSync(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmAutoSync"));
    setWindowTitle(QStringLiteral("Rovemark Auto-sync Utility"));
    lblUploadFiles = new QLabel(QStringLiteral("Pending PC -> PDA"), this);
    lstUploadFiles = new QListWidget(this);
    lstUploadFiles->setObjectName(QStringLiteral("lstUploadFiles"));
    lblDownloadFiles = new QLabel(QStringLiteral("Pending PDA -> PC"), this);
    lstDownloadFiles = new QListWidget(this);
    lstDownloadFiles->setObjectName(QStringLiteral("lstDownloadFiles"));
    cmdTransfer = new QPushButton(QStringLiteral("Transfer"), this);
    cmdTransfer->setObjectName(QStringLiteral("cmdTransfer"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setTextVisible(false);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);

    auto* up = new QVBoxLayout;
    up->addWidget(lblUploadFiles);
    up->addWidget(lstUploadFiles);
    auto* down = new QVBoxLayout;
    down->addWidget(lblDownloadFiles);
    down->addWidget(lstDownloadFiles);
    auto* lists = new QHBoxLayout;
    lists->addLayout(up);
    lists->addLayout(down);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ProgressBar1, 1);
    bottom->addWidget(cmdTransfer);
    auto* top = new QVBoxLayout(this);
    top->addLayout(lists, 1);
    top->addLayout(bottom);
    top->addWidget(StatusBar1);
    resize(460, 300);
    connect(cmdTransfer, &QPushButton::clicked, this, [this] {
        // No exception may cross the event loop: a failure is said and the run ends.
        try {
            cmdTransfer_Click();
        } catch (const std::exception& e) {
            plat::ui().messageBox(QStringLiteral("VordSync stopped: ") + QString::fromLocal8Bit(e.what()), 0,
                                  QStringLiteral("VordSync"));
            close();
        } catch (...) {
            plat::ui().messageBox(QStringLiteral("VordSync stopped."), 0, QStringLiteral("VordSync"));
            close();
        }
    });
}

QString frmAutoSync::QueueFolder() {
    return plat::resolveIn(plat::programDir(), QStringLiteral("Rovemark\\AutoExport"));
}

QString frmAutoSync::DropFolder() {
    return plat::resolveIn(plat::programDir(), QStringLiteral("Rovemark\\AutoImport"));
}

QString frmAutoSync::RefusedFolder() {
    return QueueFolder() + QStringLiteral("/Not sent");
}

bool frmAutoSync::LeftFilesBehind() const {
    if (failedCopies_ > 0 || refusedNames_ > 0)
        return true;
    const QStringList queued = misc::ListFolderFiles(QueueFolder());
    return std::any_of(queued.begin(), queued.end(), isCsv);
}

int16_t frmAutoSync::GetItemCountInBothLists() const {
    return static_cast<int16_t>(lstUploadFiles->count() + lstDownloadFiles->count());
}

void frmAutoSync::Form_Load() {
    show();
    RunAutoSync();
}

void frmAutoSync::cmdTransfer_Click() {
    TransferPending();
    EndProgram();
}

void frmAutoSync::EndProgram() {
    close();
}

void frmAutoSync::RunAutoSync() {
    MakeSyncFolders();
    // Copies killed half-way leave hidden temporary files: the main program's in the queue, ours (downloads)
    // in the drop folder. Those no running process is still writing go before anything is listed.
    plat::removeSaveLeftoversInFolder(QueueFolder());
    plat::removeSaveLeftoversInFolder(DropFolder());
    SetSyncCaptions();
    SetSyncTitle();
    repaint();
    if (!misc::CreatePdaSupport())
        return EndProgram();
    SetSyncStatus(LoadSyncText(synctxt::Searching));
    // The library titles its "not connected" message with the name the main program goes by.
    if (!PdaSupportObject->HandHeldPresent(QStringLiteral("Vordalin"), 1000))
        return EndProgram();
    FillPendingLists();
    if (GetItemCountInBothLists() > 0) {
        SetSyncStatus(LoadSyncText(synctxt::Pending));
        TransferPending();
    }
    EndProgram();
}

void frmAutoSync::MakeSyncFolders() {
    // The parents too, so a first run before the main program ever made "rovemark" still has its folders.
    QDir().mkpath(QueueFolder());
    QDir().mkpath(DropFolder());
}

void frmAutoSync::SetSyncCaptions() {
    lblUploadFiles->setText(LoadSyncText(synctxt::UploadCaption));
    lblDownloadFiles->setText(LoadSyncText(synctxt::DownloadCaption));
    cmdTransfer->setText(LoadSyncText(synctxt::TransferButton));
}

void frmAutoSync::SetSyncTitle() {
    setWindowTitle(LoadSyncText(synctxt::WindowTitle) + QStringLiteral(" v") + QString::number(plat::versionMajor()) +
                   u'.' + QString::number(plat::versionMinor()) + u'.' + QString::number(plat::versionRevision()));
}

void frmAutoSync::SetSyncStatus(const QString& text) {
    StatusBar1->showMessage(text);
    StatusBar1->repaint();
}

void frmAutoSync::FillPendingLists() {
    const QStringList device = PdaSupportObject->GetPDAFileList(kDeviceExport);
    if (!device.isEmpty())
        FillCsvList(lstDownloadFiles, device);
    const QStringList queued = RefuseUnsendableNames(misc::ListFolderFiles(QueueFolder()));
    if (!queued.isEmpty())
        FillCsvList(lstUploadFiles, queued);
}

QStringList frmAutoSync::RefuseUnsendableNames(const QStringList& names) {
    // A Linux name may hold a backslash; a PDA name cannot, since the device reads it as a folder separator.
    // Tried at every run such a file would fail at every run: it is said once and moved where no run looks.
    QStringList kept;
    for (const QString& name : names) {
        if (!isCsv(name) || !name.contains(u'\\')) {
            kept << name;
            continue;
        }
        ++refusedNames_;
        const QString source = QueueFolder() + u'/' + name;
        QDir().mkpath(RefusedFolder());
        QString target = RefusedFolder() + u'/' + name;
        for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
            target = RefusedFolder() + u'/' + name + QStringLiteral(" (") + QString::number(n) + u')';
        if (QFile::rename(source, target))
            showSyncMessage(LoadSyncText(synctxt::NameRefused) + QStringLiteral("\r\n  ") + target);
        else
            showSyncMessage(LoadSyncText(synctxt::NameRefusedStays) + QStringLiteral("\r\n  ") + source);
    }
    return kept;
}

void frmAutoSync::FillCsvList(QListWidget* listBox, const QStringList& names) {
    listBox->clear();
    for (const QString& name : names)
        if (!name.isEmpty() && isCsv(name))
            listBox->addItem(name);
}

void frmAutoSync::TransferPending() {
    const int16_t n = ResetProgress();
    if (n > 0) {
        SetSyncStatus(LoadSyncText(synctxt::Transferring));
        UploadPending();
        DownloadPending();
        SetSyncStatus(LoadSyncText(synctxt::Pending));
    }
}

int16_t frmAutoSync::ResetProgress() {
    const int16_t n = GetItemCountInBothLists();
    ProgressBar1->setRange(0, n != 0 ? n : 1);
    ProgressBar1->setValue(0);
    return n;
}

void frmAutoSync::UploadPending() {
    for (int i = 0; i < lstUploadFiles->count(); ++i) {
        const QString entry = lstUploadFiles->item(i)->text();
        const QString source = QueueFolder() + u'/' + entry;
        const QString target = kDeviceAutoImport + u'\\' + entry;
        pda::CallStatus status;
        // The queued file leaves the queue only once the device holds all of it; a file the library could not
        // read stays queued like any other failure, and the run goes on.
        if (PdaSupportObject->CopyPCFileToPDA(source, target, &status) && status.ok())
            QFile::remove(source);
        else {
            ++failedCopies_;
            showCopyFailed(synctxt::UploadFailed, source, status);
        }
        ProgressBar1->setValue(ProgressBar1->value() + 1);
        qApp->processEvents();
    }
}

void frmAutoSync::DownloadPending() {
    for (int i = 0; i < lstDownloadFiles->count(); ++i) {
        const QString entry = lstDownloadFiles->item(i)->text();
        const QString source = kDeviceExport + u'\\' + entry;
        const QString target = DropFolder() + u'/' + entry;
        pda::CallStatus status;
        if (PdaSupportObject->CopyPDAFileToPC(source, target, &status) && status.ok())
            PdaSupportObject->DeletePDAFile(source);
        else {
            ++failedCopies_;
            showCopyFailed(synctxt::DownloadFailed, source, status);
        }
        ProgressBar1->setValue(ProgressBar1->value() + 1);
        qApp->processEvents();
    }
}
