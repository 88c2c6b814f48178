#include "pdalink/frmBrowsePDA.h"

#include "pdalink/CopyWindowWidgets.h"
#include "pdalink/RAPIModule.h"
#include "platform/AtomicFile.h"
#include "platform/UiServices.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <climits>
#include <map>

using namespace pdalib;

namespace {
constexpr qint64 kReadBlock = 60000;
const QString kExportFolder = QStringLiteral("\\My Documents\\Rovemark Export\\");
} // namespace

frmBrowsePDA::frmBrowsePDA(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmBrowsePDA"));
    setWindowTitle(QStringLiteral("Download Patrol"));
    Label1 = new QLabel(QStringLiteral("DMA Files Available for Download"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    listBox = NewFileList(this, QStringLiteral("listBox"));
    auto* buttons = NewCopyButtons(this, QStringLiteral("cmdOpenFile"), QStringLiteral("Download"), &cmdOpenFile,
                                   QStringLiteral("btnCancel"), &btnCancel);
    Frame1 = NewCopyStatusBox(this, QStringLiteral("lblDownloading"), &lblDownloading, &lblFileName, &progressBar);
    auto* middle = new QHBoxLayout;
    middle->addWidget(listBox, 1);
    middle->addLayout(buttons);
    auto* top = new QVBoxLayout(this);
    top->addWidget(Label1);
    top->addLayout(middle, 1);
    top->addWidget(Frame1);
    resize(420, 320);

    connect(cmdOpenFile, &QPushButton::clicked, this, [this] { RunGuarded([this] { cmdOpenFile_Click(); }); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnCancel_Click(); }); });
}

bool frmBrowsePDA::FileExists(const QString& fileName) {
    const QFileInfo fi(fileName);
    return fi.exists() && !fi.isDir();
}

void frmBrowsePDA::Form_Load() {
    setWindowTitle(String619);
    Label1->setText(String620);
    cmdOpenFile->setText(String621);
    btnCancel->setText(String622);
    listBox->clear();
    for (const QString& name : RAPIModule::ListDeviceCsvFiles(kExportFolder.chopped(1)))
        listBox->addItem(name.chopped(4));
    DownloadedFileNames = QStringList{QString()};
}

bool frmBrowsePDA::downloadSelected(int* downloaded, QStringList* savedPaths) {
    Session session;
    if (!session.ok()) {
        ShowLibMessage(QString::fromLatin1(kNotConnected));
        return false;
    }
    const QString pcFolder = downloadFolder();
    for (int i = listBox->count() - 1; i >= 0; --i) {
        QListWidgetItem* entry = listBox->item(i);
        if (!entry->isSelected())
            continue;
        progressBar->setValue(0);

        // The entry's file is found again by its position among the device's CSV entries, so a list filled
        // earlier still names the file the user saw, as long as the folder has not changed.
        QString name;
        {
            ce::FindData data;
            DeviceHandle find(ce::CeFindFirstFile(kExportFolder + u'*', &data), true);
            int count = 0;
            if (find.valid()) {
                do {
                    if (RAPIModule::IsCsvName(data.name) && ++count == i + 1) {
                        name = data.name;
                        break;
                    }
                } while (ce::CeFindNextFile(find.get(), &data));
            }
        }
        DeviceHandle file;
        if (!name.isEmpty())
            file.reset(ce::CeCreateFile(kExportFolder + name, ce::GENERIC_READ, ce::OPEN_EXISTING));
        if (!file.valid()) {
            ShowLibMessage(String624);
            return false;
        }
        uint32_t high = 0;
        const qint64 size =
            (static_cast<qint64>(ce::CeGetFileSize(file.get(), &high)) | (static_cast<qint64>(high) << 32));
        if (size == 0) {
            ShowLibMessage(String625);
            return false;
        }
        const QString target = pcFolder + u'/' + name;
        if (FileExists(target)) {
            if (ShowLibMessage(name + QStringLiteral(" - ") + String626, plat::MB_YESNO) == plat::IDNO) {
                entry->setSelected(false);
                continue;
            }
        }
        progressBar->setRange(0, static_cast<int>(std::min<qint64>(size / kReadBlock + 1, INT_MAX)));
        lblFileName->setText(name);
        lblDownloading->setText(String627);
        repaint();

        // Block by block into a new file beside the target, whatever size the device reports; the target is
        // replaced only by a whole copy.
        plat::AtomicFile out(target);
        // The message names the file and the system's reason (a full disk, a read-only folder).
        auto saveFailed = [&] {
            ShowLibMessage(String630 + QStringLiteral("\r\n\r\n") + target + QStringLiteral("\r\n") + out.errorText());
            return false;
        };
        if (!out.open())
            return saveFailed();
        QByteArray block(static_cast<qsizetype>(kReadBlock), '\0');
        qint64 remaining = size;
        bool readOk = true;
        bool writeOk = true;
        while (readOk && writeOk && remaining > 0) {
            const auto want = static_cast<uint32_t>(std::min(kReadBlock, remaining));
            uint32_t got = 0;
            // A short read means the device went away or the file shrank: the file is not whole.
            readOk = ce::CeReadFile(file.get(), block.data(), want, &got) && got == want;
            if (readOk) {
                writeOk = out.write(block.constData(), static_cast<qint64>(got));
                remaining -= got;
                if (remaining > 0)
                    progressBar->setValue(std::min(progressBar->value() + 1, progressBar->maximum()));
            }
        }
        if (!readOk) {
            out.cancel();
            ShowLibMessage(String628);
            return false;
        }
        if (!writeOk || !out.commit())
            return saveFailed();
        ++*downloaded;
        savedPaths->append(target);
        entry->setData(Qt::UserRole, target);
        progressBar->setValue(progressBar->maximum());
    }
    return true;
}

void frmBrowsePDA::cmdOpenFile_Click() {
    if (listBox->selectedItems().isEmpty()) {
        ShowLibMessage(String623);
        return;
    }
    for (int i = 0; i < listBox->count(); ++i)
        listBox->item(i)->setData(Qt::UserRole, QVariant());
    int downloaded = 0;
    QStringList saved;
    const bool whole = downloadSelected(&downloaded, &saved);
    DownloadedFileNames = QStringList{QString()};
    if (!whole)
        return; // the form stays open; files already saved stay on disk
    if (downloaded > 0)
        ShowLibMessage(String634);
    progressBar->setValue(0);
    lblDownloading->clear();
    if (downloaded == 0)
        return;
    hide();
    // The path written, as the device spells the name, so the caller finds the file on any file system.
    QStringList names;
    for (int i = listBox->count() - 1; i >= 0; --i) {
        const QListWidgetItem* entry = listBox->item(i);
        if (entry->isSelected() && entry->data(Qt::UserRole).isValid())
            names << entry->data(Qt::UserRole).toString();
    }
    if (!names.isEmpty())
        DownloadedFileNames = names;
    done(QDialog::Accepted);
}

void frmBrowsePDA::btnCancel_Click() {
    done(QDialog::Rejected);
}
