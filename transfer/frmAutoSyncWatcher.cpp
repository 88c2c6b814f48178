#include "transfer/frmAutoSyncWatcher.h"

#include "core/DatabaseFile.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/UiServices.h"
#include "platform/WindowRegistry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kPollMs = 1000;

// A move that never replaces a file of that name (in any letter case, as the folder would on Windows): the
// clash check before it is the user's only say over what happens to the file already there. reason gets the
// system's text when the move fails.
bool moveFileNoReplace(const QString& source, const QString& target, QString* reason) {
    if (!QFileInfo(source).isFile() || !plat::findFirstFile(target).isEmpty()) {
        *reason = plat::systemErrorText(QFileInfo(source).isFile() ? EEXIST : ENOENT);
        return false;
    }
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(target);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EXDEV) {
        *reason = plat::systemErrorText(errno);
        return false;
    }
    // Another file system: a whole, synced copy takes the name (never over a file that appeared meanwhile),
    // then the source goes.
    std::string bytes;
    if (!plat::readFileBytes(source, bytes)) {
        *reason = plat::systemErrorText(EIO);
        return false;
    }
    plat::AtomicFile copy(target);
    // With the source's permissions, as a move keeps them.
    struct stat st {};
    if (::stat(from.constData(), &st) == 0)
        copy.setNewFileMode(st.st_mode);
    if (!copy.open() || !copy.write(bytes) || !copy.commit(true)) {
        *reason = copy.errorText();
        return false;
    }
    if (::unlink(from.constData()) != 0) {
        *reason = plat::systemErrorText(errno);
        QFile::remove(target);
        return false;
    }
    return true;
}

} // namespace

frmAutoSyncWatcher::frmAutoSyncWatcher(QWidget* mainWindow) : QDialog(mainWindow), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("frmAutoSyncWatcher"));
    setWindowTitle(QStringLiteral("Vordalin Auto-Sync"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);
    plat::windows::add(this, QStringLiteral("frmAutoSyncWatcher"));

    lstImportFiles = new QListWidget(this);
    lstImportFiles->setObjectName(QStringLiteral("lstImportFiles"));
    lstImportFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    cmdImport = new QPushButton(QStringLiteral("Import"), this);
    cmdImport->setObjectName(QStringLiteral("cmdImport"));
    cmdImport->setDefault(true);
    cmdClose = new QPushButton(QStringLiteral("Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdImport);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lstImportFiles, 1);
    layout->addLayout(buttons);
    resize(360, 260);

    tmrCheckFolder = new QTimer(this);
    tmrCheckFolder->setObjectName(QStringLiteral("tmrCheckFolder"));
    tmrCheckFolder->setInterval(kPollMs);
    tmrListFiles = new QTimer(this);
    tmrListFiles->setObjectName(QStringLiteral("tmrListFiles"));
    tmrListFiles->setInterval(kPollMs);

    connect(cmdImport, &QPushButton::clicked, this, &frmAutoSyncWatcher::cmdImport_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmAutoSyncWatcher::cmdClose_Click);
    connect(tmrCheckFolder, &QTimer::timeout, this, &frmAutoSyncWatcher::tmrCheckFolder_Timer);
    connect(tmrListFiles, &QTimer::timeout, this, &frmAutoSyncWatcher::tmrListFiles_Timer);

    Form_Load();
}

frmAutoSyncWatcher::~frmAutoSyncWatcher() {
    plat::windows::remove(this);
}

void frmAutoSyncWatcher::Form_Load() {
    WatchPattern = plat::programDir() + QStringLiteral("/Rovemark/AutoImport/*.CSV");
    ShowWatcher(0);
}

QString frmAutoSyncWatcher::ImportFolder() {
    return plat::resolveIn(plat::programDir(), QStringLiteral("Rovemark\\AutoImport"));
}

QString frmAutoSyncWatcher::TargetFolder() {
    return plat::resolveIn(plat::programDir(), QStringLiteral("Rovemark\\From"));
}

void frmAutoSyncWatcher::ShowWatcher(int mode) {
    if (mode != 1) {
        LastFileList = QStringList{QString()};
        setVisible(false);
        tmrCheckFolder->start();
        tmrListFiles->stop();
        return;
    }
    if (showing_)
        return;
    tmrCheckFolder->stop();
    lstImportFiles->clear();
    tmrListFiles_Timer();
    if (lstImportFiles->count() == 0) {
        // The files went away between the check and now: stay hidden.
        ShowWatcher(0);
        return;
    }
    tmrListFiles->start();
    showing_ = true;
    plat::ui().execDialog(this);
    showing_ = false;
    // However the modal run ended (hidden by a command, closed, or a test's script), the watcher goes back
    // to checking the folder.
    if (!tmrCheckFolder->isActive())
        ShowWatcher(0);
}

bool frmAutoSyncWatcher::mayComeUp() const {
    if (showing_ || !isEnabled())
        return false; // already up, or the main program has switched its windows off for a long command
    // Over another modal window the watcher would take the input from it; the next tick tries again.
    if (QApplication::activeModalWidget())
        return false;
    return !(mainWindow_ && mainWindow_->isMinimized());
}

void frmAutoSyncWatcher::tmrCheckFolder_Timer() {
    if (!mayComeUp())
        return;
    if (ListImportFiles(WatchPattern).isEmpty())
        return;
    ShowWatcher(1);
}

void frmAutoSyncWatcher::tmrListFiles_Timer() {
    const QStringList names = ListImportFiles(WatchPattern);
    if (names.isEmpty()) {
        ShowWatcher(0);
        return;
    }
    if (!SameFileList(names, LastFileList)) {
        LastFileList = names;
        FillImportList(LastFileList);
    }
}

QStringList frmAutoSyncWatcher::ListImportFiles(const QString& pattern) {
    const QString local = plat::toLocalPath(pattern);
    const qsizetype slash = local.lastIndexOf(u'/');
    if (slash < 0)
        return {};
    return plat::listFiles(plat::resolvePath(local.left(slash)), local.mid(slash + 1));
}

bool frmAutoSyncWatcher::SameFileList(const QStringList& newList, const QStringList& oldList) {
    if (newList.size() != oldList.size())
        return false;
    for (qsizetype i = 0; i < newList.size(); ++i)
        if (newList[i] != oldList[i])
            return false;
    return true;
}

void frmAutoSyncWatcher::FillImportList(const QStringList& names) {
    lstImportFiles->clear();
    lstImportFiles->addItems(names);
}

bool frmAutoSyncWatcher::CheckImportNameClashes() {
    for (;;) {
        const QString target = TargetFolder();
        QString clashes;
        for (int i = 0; i < lstImportFiles->count(); ++i) {
            const QString entry = lstImportFiles->item(i)->text();
            if (DatabaseFileExists(target + u'/' + entry))
                clashes += QStringLiteral("\r\n   ") + entry;
        }
        if (clashes.isEmpty())
            return false;
        const QString message =
            QStringLiteral("Files exist in the target folder with the same file names as the imported files.  ") +
            QStringLiteral("Please resolve this by removing or archiving existing files before importing new files.") +
            QStringLiteral("\r\n\r\nTarget folder: \r\n   ") + target +
            QStringLiteral("\r\n\r\nFiles with existing target:") + clashes;
        if (plat::ui().messageBox(message, plat::MB_RETRYCANCEL | plat::MB_ICONQUESTION, QString()) != plat::IDRETRY)
            return true;
    }
}

QStringList frmAutoSyncWatcher::MoveImportFiles() {
    QStringList moved;
    const QString sourceFolder = ImportFolder();
    const QString targetFolder = TargetFolder();
    QDir().mkpath(targetFolder);
    for (int i = 0; i < lstImportFiles->count(); ++i) {
        const QString entry = lstImportFiles->item(i)->text();
        const QString source = sourceFolder + u'/' + entry;
        const QString target = targetFolder + u'/' + entry;
        for (;;) {
            QString reason;
            if (moveFileNoReplace(source, target, &reason)) {
                moved << entry;
                break;
            }
            // The system's reason follows the target's name (a full disk, a read-only folder).
            QString message = ExpandNewlines(LoadLangString(txt::ImportMoveFailed));
            message.replace(QStringLiteral("<SourceFileName>"), source);
            message.replace(QStringLiteral("<TargetFileName>"), target + u'\n' + reason);
            if (plat::ui().messageBox(message, plat::MB_RETRYCANCEL | plat::MB_ICONEXCLAMATION, QString()) ==
                plat::IDRETRY)
                continue;
            // Cancel discards the file (the message says so); one already gone needs nothing more.
            QFile::remove(source);
            break;
        }
    }
    return moved;
}

void frmAutoSyncWatcher::cmdImport_Click() {
    if (CheckImportNameClashes())
        return;
    const QStringList moved = MoveImportFiles();
    setVisible(false);
    if (!moved.isEmpty()) {
        if (plat::ui().messageBox(LoadLangString(txt::OpenImportedFiles), plat::MB_YESNO | plat::MB_ICONQUESTION,
                                  QString()) == plat::IDYES) {
            const QString targetFolder = TargetFolder();
            for (const QString& name : moved)
                OpenDocument(targetFolder + u'/' + name);
        }
    } else {
        plat::ui().messageBox(LoadLangString(txt::NothingImported), plat::MB_ICONASTERISK, QString());
    }
    ShowWatcher(0);
}

void frmAutoSyncWatcher::cmdClose_Click() {
    // No is the default: Enter keeps the files, only a deliberate Yes deletes them.
    if (plat::ui().messageBox(ExpandNewlines(LoadLangString(txt::DiscardImportFiles)),
                              plat::MB_YESNO | plat::MB_ICONEXCLAMATION | plat::MB_DEFBUTTON2,
                              QString()) != plat::IDYES)
        return;
    const QString folder = ImportFolder();
    for (int i = 0; i < lstImportFiles->count(); ++i)
        QFile::remove(folder + u'/' + lstImportFiles->item(i)->text());
    ShowWatcher(0);
}

void frmAutoSyncWatcher::Form_QueryUnload(bool& cancel, int unloadMode) {
    if (unloadMode == 0) {
        // Closing the frame only puts the watcher away; the files stay, so it comes back while they remain.
        cancel = true;
        ShowWatcher(0);
    }
}

void frmAutoSyncWatcher::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    Form_QueryUnload(cancel, event->spontaneous() ? 0 : 1);
    if (cancel)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void frmAutoSyncWatcher::reject() {
    // Escape acts as closing the frame.
    ShowWatcher(0);
}

frmAutoSyncWatcher* StartAutoSyncWatcher(QWidget* mainWindow) {
    auto* watcher = new frmAutoSyncWatcher(mainWindow);
    watcher->setVisible(false);
    return watcher;
}
