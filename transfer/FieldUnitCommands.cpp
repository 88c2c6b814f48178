#include "transfer/FieldUnitCommands.h"

#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "core/frmOptions.h"
#include "documents/DocumentFiles.h"
#include "documents/SmallDialogs.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "platform/Paths.h"
#include "platform/QtUi.h"
#include "platform/UiServices.h"
#include "platform/WindowRegistry.h"
#include "transfer/RovemarkTalk.h"
#include "transfer/TransferFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTreeWidget>

#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

namespace {

const QString kDmaForm = QStringLiteral("frmDMA");

// Files written into the to-folder since the send began. Two windows of one file title share one file, and
// the later one replaces the earlier; when the later write fails the earlier window's file stays.
QStringList g_writtenThisSend;

void interact(const FieldUnitFrame& frame, bool enable) {
    if (frame.interact)
        frame.interact(enable);
}

// Shows the transfer program's result line; a run that left no result file, or one that cannot be read, is
// said so plainly, because the user would otherwise not know whether anything reached the field unit.
void reportTransferResult(const QString& folder) {
    const QString file = folder + u'/' + QLatin1String(kTransferResultName);
    const std::optional<TransferResult> result = ReadTransferResult(folder);
    if (!result)
        ShowMessage(LoadLangString(txt::TransferResultMissing) + file, 0);
    else if (!result->readable)
        ShowMessage(LoadLangString(txt::TransferResultUnreadable) + file, 0);
}

// Runs the transfer program with a busy pointer: a run can take many seconds, and the status line alone is
// easy to miss.
bool receiveFromFieldUnit() {
    plat::WaitCursor busy;
    return ReadFromFieldUnit();
}

bool sendToFieldUnit() {
    plat::WaitCursor busy;
    return WriteToFieldUnit();
}

// The program writes its result where it likes after a send: the to-folder's file when there is one, else
// the from-folder's (both were removed before the run, so neither can be left from an earlier transfer).
void reportSendResult() {
    reportTransferResult(TransferResultExists(TransferToFolder) ? TransferToFolder : TransferFromFolder);
}

void removeResultFile(const QString& folder) {
    for (const QString& name : plat::listFiles(folder, QLatin1String(kTransferResultName)))
        QFile::remove(folder + u'/' + name);
}

// Before a send: the to-folder loses its old files, and no result file of an earlier run stays anywhere.
void prepareSend() {
    g_writtenThisSend.clear();
    ClearToFolder();
    removeResultFile(TransferFromFolder);
}

void addSelectionItem(frmSelection& dialog, const QString& key, const QString& text) {
    auto* item = new QTreeWidgetItem(dialog.TreeViewSelect, QStringList{text});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setData(0, Qt::UserRole, key);
    item->setCheckState(0, Qt::Unchecked);
}

QStringList tickedKeys(const frmSelection& dialog) {
    QStringList keys;
    for (int i = 0; i < dialog.TreeViewSelect->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = dialog.TreeViewSelect->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            keys << item->data(0, Qt::UserRole).toString();
    }
    return keys;
}

// The logger list windows in the order of the loaded forms, each with its position among all loaded forms.
std::vector<std::pair<int, QPointer<frmDMA>>> listWindowsInFormOrder() {
    std::vector<std::pair<int, QPointer<frmDMA>>> out;
    const std::vector<QWidget*> forms = plat::windows::loaded();
    for (size_t i = 0; i < forms.size(); ++i) {
        if (plat::windows::formName(forms[i]) != kDmaForm)
            continue;
        if (auto* window = qobject_cast<frmDMA*>(forms[i]); window && !window->unloaded())
            out.emplace_back(static_cast<int>(i), window);
    }
    return out;
}

} // namespace

QString FieldUnitFileName(const QString& dmaName) {
    QString name = FileTitle(dmaName);
    if (!dmaName.right(4).toUpper().endsWith(QStringLiteral(".PDB")))
        name += QStringLiteral(".PDB");
    return name;
}

bool WriteWindowToFieldUnitFolder(frmDMA* window) {
    if (!window)
        return false;
    const QString target = TransferToFolder + u'/' + FieldUnitFileName(window->DMAName);
    if (!window->CopyTo_DMAModule())
        return false; // the window has said why
    FieldUnitFormat = true;
    const int32_t code = WriteDatabaseFile(target, true, false);
    FieldUnitFormat = false;
    const QString written = plat::resolvePath(target);
    if (code == DbOk) {
        g_writtenThisSend << written;
        return true;
    }
    // Whatever stands under that name and was not written by this send must not reach the field unit.
    if (QFileInfo(written).isFile() && !g_writtenThisSend.contains(written))
        QFile::remove(written);
    ShowMessage(DatabaseWriteFailureText(code, written) + QStringLiteral("\r\n") +
                    LoadLangString(txt::FieldUnitWriteFailed) + window->windowTitle(),
                0);
    return false;
}

bool OpenReceivedFile(const QString& path) {
    const std::vector<QWidget*> before = plat::windows::loadedNamed(kDmaForm);
    FieldUnitFormat = true;
    OpenDocument(path);
    FieldUnitFormat = false;
    // Only the window this file opened is marked: when the read failed (or the user declined it) no other
    // window may be relabelled as a download.
    frmDMA* opened = nullptr;
    for (QWidget* w : plat::windows::loadedNamed(kDmaForm)) {
        if (std::find(before.begin(), before.end(), w) == before.end())
            opened = qobject_cast<frmDMA*>(w);
    }
    if (!opened)
        return false;
    opened->AskForSave = true;
    opened->NeverBeenSaved = true;
    opened->DMAName = FileTitle(opened->DMAName);
    opened->setWindowTitle(LoadLangString(txt::DownloadCaption) + QString::number(DownLoadCount) + u' ' +
                           opened->DMAName);
    DownLoadCount = DownLoadCount == INT16_MAX ? 0 : static_cast<int16_t>(DownLoadCount + 1);
    return true;
}

void ReceiveAllFromFieldUnit(const FieldUnitFrame& frame) {
    ClearFromFolder();
    if (!receiveFromFieldUnit())
        return; // the user has been told why nothing was received
    interact(frame, false);
    ListReceivedFiles(TransferFromFolder);
    if (ReceivedCount == 0) {
        interact(frame, true);
        ShowMessage(LoadLangString(txt::NothingReceived), 0);
        return;
    }
    const QStringList files = ReceivedFiles.mid(1, ReceivedCount);
    for (const QString& path : files)
        OpenReceivedFile(path);
    interact(frame, true);
    reportTransferResult(TransferFromFolder);
}

void ReceiveSomeFromFieldUnit(const FieldUnitFrame& frame) {
    ClearFromFolder();
    if (!receiveFromFieldUnit())
        return;
    ListReceivedFiles(TransferFromFolder);
    if (ReceivedCount == 0) {
        interact(frame, true);
        ShowMessage(LoadLangString(txt::NothingReceived), 0);
        return;
    }
    QStringList ticked;
    {
        frmSelection dialog(frame.owner);
        dialog.setWindowTitle(LoadLangString(txt::ReceiveSelectionCaption));
        dialog.TreeViewSelect->clear();
        for (int i = 1; i <= ReceivedCount; ++i)
            addSelectionItem(dialog, ReceivedFiles[i], FileTitle(ReceivedFiles[i]));
        plat::ui().execDialog(&dialog);
        ticked = tickedKeys(dialog);
    }
    for (const QString& path : ticked)
        OpenReceivedFile(path);
    reportTransferResult(TransferFromFolder);
}

void SendAllToFieldUnit(const FieldUnitFrame& frame) {
    prepareSend();
    interact(frame, false);
    for (const auto& [index, window] : listWindowsInFormOrder()) {
        if (window && window->RecordCount > 0)
            WriteWindowToFieldUnitFolder(window);
    }
    interact(frame, true);
    if (!sendToFieldUnit())
        return;
    reportSendResult();
}

void SendSomeToFieldUnit(const FieldUnitFrame& frame) {
    std::vector<QPointer<frmDMA>> chosen;
    {
        frmSelection dialog(frame.owner);
        dialog.setWindowTitle(LoadLangString(txt::SendSelectionCaption));
        dialog.TreeViewSelect->clear();
        const auto windows = listWindowsInFormOrder();
        for (const auto& [index, window] : windows) {
            if (window && window->RecordCount > 0)
                addSelectionItem(dialog, QStringLiteral("x") + QString::number(index), window->windowTitle());
        }
        plat::ui().execDialog(&dialog);
        for (const QString& key : tickedKeys(dialog)) {
            const int index = key.mid(1).toInt();
            for (const auto& [i, window] : windows)
                if (i == index)
                    chosen.push_back(window);
        }
    }
    // Nothing ticked, or the selection cancelled: the field unit is not called to receive nothing.
    chosen.erase(std::remove_if(chosen.begin(), chosen.end(), [](const QPointer<frmDMA>& w) { return !w; }),
                 chosen.end());
    if (chosen.empty()) {
        ShowMessage(LoadLangString(txt::NothingChosenToSend), 0);
        return;
    }
    prepareSend();
    for (const QPointer<frmDMA>& window : chosen)
        WriteWindowToFieldUnitFolder(window);
    if (!sendToFieldUnit())
        return;
    reportSendResult();
}

void FieldUnitOptions(const FieldUnitFrame& frame) {
    frmOptions dialog(frame.owner);
    plat::ui().execDialog(&dialog);
}
