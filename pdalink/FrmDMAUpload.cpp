#include "pdalink/FrmDMAUpload.h"

#include "pdalink/CopyWindowWidgets.h"
#include "pdalink/RAPIModule.h"
#include "platform/Paths.h"
#include "platform/UiServices.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStorageInfo>
#include <QVBoxLayout>

using namespace pdalib;

namespace {
const QString kImportFolder = QStringLiteral("\\My Documents\\Rovemark Import\\");
const QString kUp = QStringLiteral("..");

// The places a user starts from: the file system's root, the home folder and mounted removable media.
QStringList driveRoots() {
    QStringList roots{QStringLiteral("/"), QDir::homePath()};
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        const QString r = v.rootPath();
        if (v.isValid() && v.isReady() &&
            (r.startsWith(u"/media/") || r.startsWith(u"/mnt/") || r.startsWith(u"/run/media/")) && !roots.contains(r))
            roots << r;
    }
    return roots;
}
} // namespace

FrmDMAUpload::FrmDMAUpload(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmDMAUpload"));
    setWindowTitle(QStringLiteral("Upload Patrol"));
    Drive1 = new QComboBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    lblFolder = new QLabel(this);
    lblFolder->setObjectName(QStringLiteral("lblFolder"));
    lblFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    dirFolders = new QListWidget(this);
    dirFolders->setObjectName(QStringLiteral("dirFolders"));
    fileListBox = NewFileList(this, QStringLiteral("fileListBox"));
    auto* buttons = NewCopyButtons(this, QStringLiteral("cmdUpload"), QStringLiteral("Upload"), &cmdUpload,
                                   QStringLiteral("cmdClose"), &cmdClose);
    Frame1 = NewCopyStatusBox(this, QStringLiteral("lblCopying"), &lblCopying, &lblFileName, &progressBar);

    auto* left = new QVBoxLayout;
    left->addWidget(Drive1);
    left->addWidget(lblFolder);
    left->addWidget(dirFolders, 1);
    auto* lists = new QHBoxLayout;
    lists->addLayout(left, 1);
    lists->addWidget(fileListBox, 1);
    lists->addLayout(buttons);
    auto* top = new QVBoxLayout(this);
    top->addLayout(lists, 1);
    top->addWidget(Frame1);
    resize(560, 360);

    connect(Drive1, &QComboBox::activated, this, [this] { RunGuarded([this] { Drive1_Change(); }); });
    connect(dirFolders, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        RunGuarded([this, item] {
            if (item->text() == kUp)
                setFolderPath(QFileInfo(folderPath_).dir().absolutePath());
            else
                setFolderPath(QDir(folderPath_).absoluteFilePath(item->text()));
        });
    });
    connect(cmdUpload, &QPushButton::clicked, this, [this] { RunGuarded([this] { cmdUpload_Click(); }); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { RunGuarded([this] { cmdClose_Click(); }); });
}

void FrmDMAUpload::Form_Load() {
    Drive1->clear();
    Drive1->addItems(driveRoots());
    // The folder shown when the window was last closed, so the next upload starts where the user left off;
    // the process's current folder stays as it is (other commands start programs relative to it).
    QString start = LastUploadFolder;
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::currentPath();
    setFolderPath(start);
}

void FrmDMAUpload::setFolderPath(const QString& path) {
    const QFileInfo fi(path);
    if (!fi.isDir())
        return; // a folder that is not there (a drive not ready) leaves the lists as they are
    folderPath_ = QDir::cleanPath(fi.absoluteFilePath());
    lblFolder->setText(folderPath_);
    for (int i = 0; i < Drive1->count(); ++i)
        if (folderPath_.startsWith(Drive1->itemText(i)))
            Drive1->setCurrentIndex(i); // the longest matching root wins, as roots are listed shortest first
    fillFolders();
    dirFolders_Change();
}

void FrmDMAUpload::fillFolders() {
    dirFolders->clear();
    if (folderPath_ != u"/")
        dirFolders->addItem(kUp);
    dirFolders->addItems(plat::listSubfolders(folderPath_));
}

void FrmDMAUpload::Drive1_Change() {
    setFolderPath(Drive1->currentText());
}

void FrmDMAUpload::dirFolders_Change() {
    fileListBox->clear();
    fileListBox->addItems(plat::listFiles(folderPath_, QStringLiteral("*.csv")));
}

void FrmDMAUpload::cmdUpload_Click() {
    for (int i = fileListBox->count() - 1; i >= 0; --i) {
        QListWidgetItem* entry = fileListBox->item(i);
        if (!entry->isSelected())
            continue;
        lblCopying->setText(QStringLiteral("Copying -"));
        lblFileName->setText(entry->text());
        const QString source = folderPath_ == u"/" ? u'/' + entry->text() : folderPath_ + u'/' + entry->text();
        CopyFileToCeDevice(source, entry->text());
    }
    if (FilesCopied > 0) {
        ShowLibMessage(String634);
        fileListBox->clearSelection();
    }
    progressBar->setValue(0);
    lblFileName->clear();
    lblCopying->clear();
    FilesCopied = 0;
}

void FrmDMAUpload::cmdClose_Click() {
    LastUploadFolder = folderPath_;
    done(QDialog::Rejected);
}

bool FrmDMAUpload::CopyFileToCeDevice(const QString& FileName, const QString& FileTitle) {
    Session session;
    if (!session.ok()) {
        ShowLibMessage(NotConnectedText());
        return true;
    }
    ce::CeCreateDirectory(kImportFolder); // usually there already
    const QString destination = kImportFolder + FileTitle;
    {
        ce::FindData data;
        DeviceHandle find(ce::CeFindFirstFile(destination, &data), true);
        if (find.valid() && ShowLibMessage(FileTitle + u' ' + String626, plat::MB_YESNO) == plat::IDNO)
            return true;
    }
    RAPICopyPCFileToCE(FileName, destination);
    return true;
}

void FrmDMAUpload::RAPICopyPCFileToCE(const QString& PCSourceFile, const QString& CEDestFile) {
    QFile source(PCSourceFile);
    if (!QFileInfo(PCSourceFile).isFile() || !source.open(QIODevice::ReadOnly)) {
        // Named, so a run that copied other files does not look like a full success.
        ShowLibMessage(QStringLiteral("Unable to read PC file.  File=") + PCSourceFile);
        return;
    }
    progressBar->setRange(0, static_cast<int>(std::min<qint64>(source.size(), INT_MAX)));
    QString why;
    const auto result = RAPIModule::UploadToDevice(
        source, CEDestFile,
        [this](qint64 pos) { progressBar->setValue(static_cast<int>(std::min<qint64>(pos, INT_MAX))); }, &why);
    // The caller's text, then which file and why.
    switch (result) {
    case RAPIModule::UploadResult::Done:
        break;
    case RAPIModule::UploadResult::CannotCreate:
        ShowLibMessage(WithReason(String632 + QStringLiteral("\r\n") + CEDestFile, why));
        return;
    case RAPIModule::UploadResult::WriteFailed:
        ShowLibMessage(WithReason(String633 + QStringLiteral("\r\n") + CEDestFile, why));
        return;
    }
    progressBar->setValue(progressBar->maximum());
    ++FilesCopied;
}
