#include "documents/DocumentFiles.h"

#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentLinks.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/QtUi.h"
#include "platform/TextCodec.h"
#include "platform/UiServices.h"
#include "platform/VbRuntime.h"
#include "platform/WindowRegistry.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSet>
#include <QTreeView>

QPointer<frmDMA> ActiveDocument;
IRecordEditorView* documents::recordEditor = nullptr;

namespace {

QPointer<QMdiArea> g_area;

// The PDA queue folder below the program folder, in whatever letter case it exists.
QString queueFolder() {
    return plat::resolveIn(plat::programDir(), QStringLiteral("Rovemark\\AutoExport"));
}

} // namespace

void SetDocumentArea(QMdiArea* area) {
    g_area = area;
}
QMdiArea* DocumentArea() {
    return g_area;
}

void ShowDocumentWindow(QMdiSubWindow* window) {
    if (!g_area)
        return; // no main window (tests): the window stays loaded but unshown
    g_area->addSubWindow(window);
    window->show();
    g_area->setActiveSubWindow(window);
    if (window->widget())
        window->widget()->setFocus();
}

bool LoadFileWithReport(const QString& path) {
    int32_t code;
    {
        plat::WaitCursor wait;
        code = ReadDatabaseFile(path);
    }
    if (code != DbOk) {
        ShowMessage(DatabaseErrorText(code, true) + QStringLiteral(":\n") + path, 0);
        return false;
    }
    QString report;
    {
        plat::WaitCursor wait;
        report = BuildLoadReport();
    }
    if (report.isEmpty())
        return true;
    const QString shown = report.size() < 100 ? report : report.left(100) + LoadLangString(txt::ListShortened) + u'\n';
    const QString prompt =
        LoadLangString(txt::DuplicateQuestion) + u'\n' + shown + u'\n' + LoadLangString(txt::ShowReportQuestion);
    if (ShowMessage(prompt, plat::MB_YESNO | plat::MB_ICONHAND | plat::MB_DEFBUTTON2, path) == plat::IDNO)
        return false;
    auto* window = new frmDocument;
    window->setWindowTitle(LoadLangString(txt::ReportCaption) + FileTitle(path) + QStringLiteral(".log"));
    window->setText(report);
    ShowDocumentWindow(window);
    return true;
}

frmDMA* WindowHoldingFile(const QString& path, const frmDMA* except) {
    const QString resolved = plat::resolvePath(path);
    const FileStamp file = FileStampOf(path);
    for (QWidget* form : plat::windows::loadedNamed(QStringLiteral("frmDMA"))) {
        auto* list = qobject_cast<frmDMA*>(form);
        // A list without a file of its own (new, or a download) holds none, whatever its caption says.
        if (list == nullptr || list == except || list->unloaded() || list->NeverBeenSaved)
            continue;
        const QString own = list->windowTitle();
        if (plat::resolvePath(own) == resolved || file.sameFile(FileStampOf(own)))
            return list;
    }
    return nullptr;
}

namespace {

void BringForward(frmDMA* list) {
    if (list->isMinimized())
        list->showNormal();
    if (QMdiArea* area = list->mdiArea())
        area->setActiveSubWindow(list);
    list->ListViewDMA->setFocus(Qt::OtherFocusReason);
    list->MakeActiveDocument();
}

// Yes or No, No the default: the questions asked before a file is replaced or opened a second time.
bool AskFileQuestion(int text, const QString& path) {
    return plat::ui().messageBox(LoadLangString(text) + QStringLiteral("\n\n") + path,
                                 plat::MB_YESNO | plat::MB_ICONEXCLAMATION | plat::MB_DEFBUTTON2,
                                 plat::appTitle()) == plat::IDYES;
}

} // namespace

void OpenDocument(const QString& path) {
    // A second window of one file would let the two undo each other's saves: the window that holds the file
    // comes forward. Only when the file changed since that window read or wrote it is a second window worth
    // having, and then the user is asked.
    if (frmDMA* open = WindowHoldingFile(path)) {
        const FileStamp now = FileStampOf(path);
        if (!now.exists || now == open->DiskStamp || !AskFileQuestion(txt::AlreadyOpenChanged, path)) {
            BringForward(open);
            return;
        }
    }
    if (!LoadFileWithReport(path))
        return;
    auto* window = new frmDMA;
    window->AskForSave = false;
    window->NeverBeenSaved = false;
    window->NumHistories = kMaxReadings;
    window->CopyFrom_DMAModule();
    window->setWindowTitle(path);
    window->DMAName = FileTitle(path);
    window->DiskStamp = LastReadFileStamp();
    ShowDocumentWindow(window);
}

void NewDocument() {
    ++NewDocumentCounter;
    auto* window = new frmDMA;
    window->AskForSave = false;
    window->NeverBeenSaved = true;
    window->NumHistories = kMaxReadings;
    const QString name = LoadLangString(txt::Untitled) + plat::vb::zeroPad(NewDocumentCounter, 4);
    window->setWindowTitle(name + QStringLiteral(".PDB"));
    window->DMAName = name;
    ShowDocumentWindow(window);
}

bool SaveLoggerFile(frmDMA* document, const QString& path, const QString& extension) {
    if (!document)
        return false;
    const QString target = path + extension;
    // The window's own file is replaced only as the window last saw it; another window's file only when the
    // user says so.
    const bool ownFile = extension.isEmpty() && !document->NeverBeenSaved &&
                         (plat::resolvePath(document->windowTitle()) == plat::resolvePath(target) ||
                          FileStampOf(target).sameFile(FileStampOf(document->windowTitle())));
    if (ownFile) {
        const FileStamp now = FileStampOf(target);
        if (now.exists && document->DiskStamp.exists && now != document->DiskStamp &&
            !AskFileQuestion(txt::FileChangedOnDisk, target))
            return false;
    } else if (WindowHoldingFile(target, document) != nullptr && !AskFileQuestion(txt::FileInOtherWindow, target)) {
        return false;
    }
    int32_t code;
    {
        plat::WaitCursor wait;
        if (!document->CopyTo_DMAModule())
            return false;
        code = WriteDatabaseFile(target, false, extension == QStringLiteral(".csv"));
    }
    if (code != DbOk) {
        // A write failure has no line of its own (the line count belongs to the last file read); it names the
        // file and the system's reason: a full disk, a read-only file or folder.
        ShowMessage(DatabaseWriteFailureText(code, target), 0);
        return false;
    }
    // The PDA queue gets a copy of every file written; the auto-sync utility picks it up from there.
    // The copy reads the file the writer wrote, resolved the same way, whatever letter case the path was given in.
    const QString name = FileTitle(target);
    const QString destination = queueFolder() + u'/' + name;
    const bool folderExists = QFileInfo(queueFolder()).isDir();
    std::string bytes;
    QString reason;
    const bool copied = folderExists && plat::readFileBytes(plat::resolvePath(target), bytes) &&
                        plat::writeFileAtomically(destination, bytes, &reason);
    // Until the auto-sync utility has run once the queue folder does not exist: that is said once per run,
    // not at every save. Any other failure is said every time.
    static QSet<QString> missingFoldersReported;
    bool quiet = false;
    if (!copied && !folderExists) {
        quiet = missingFoldersReported.contains(queueFolder());
        missingFoldersReported.insert(queueFolder());
    }
    if (!copied && !quiet)
        plat::ui().messageBox(LoadLangString(txt::QueueCopyFailed) + QStringLiteral("\r\n\r\n") + destination +
                                  (reason.isEmpty() ? QString() : QStringLiteral("\r\n") + reason),
                              plat::MB_ICONEXCLAMATION, plat::appTitle());
    if (extension.isEmpty()) {
        document->AskForSave = false;
        document->NeverBeenSaved = false;
        document->setWindowTitle(path);
        document->DMAName = FileTitle(path);
        document->DiskStamp = FileStampOf(target);
    }
    return true;
}

bool IsDocumentValid(const QPointer<frmDMA>& document) {
    return !document.isNull();
}

QString WithLoggerExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (name.isEmpty() || (dot > 0 && dot < name.size() - 1))
        return path;
    return path + (dot == name.size() - 1 ? QStringLiteral("pdb") : QStringLiteral(".pdb"));
}

bool ConfirmOverwrite(const QString& path) {
    if (!DatabaseFileExists(path))
        return true;
    return plat::ui().messageBox(LoadLangString(txt::OverwriteQuestion) + path + u'?',
                                 plat::MB_YESNO | plat::MB_ICONHAND | plat::MB_DEFBUTTON2,
                                 plat::appTitle()) != plat::IDNO;
}

QString FileFilterFromText(const QString& pairs) {
    const QStringList parts = pairs.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        if (patterns.trimmed() == QStringLiteral("*.*"))
            patterns = QStringLiteral("*");
        filters << parts[i].trimmed() + QStringLiteral(" (") + patterns.trimmed() + u')';
    }
    return filters.isEmpty() ? QStringLiteral("*") : filters.join(QStringLiteral(";;"));
}

bool SaveLoggerDocument(frmDMA* document) {
    if (!document)
        return false;
    ShowStatusText(QString());
    if (document->RecordCount < 1) {
        ShowMessage(LoadLangString(txt::SaveEmptyList), 0);
        return false;
    }
    QString path;
    if (document->NeverBeenSaved) {
        QString prefix = DefaultPath;
        if (ForceNewPath) {
            prefix = ForcePath;
            if (!prefix.endsWith(u'\\') && !prefix.endsWith(u'/'))
                prefix += u'\\';
        }
        plat::FileDialogRequest request;
        request.parent = document;
        request.title = LoadLangString(txt::SaveTitle);
        request.fileName = plat::toLocalPath(prefix + document->DMAName);
        request.filter = FileFilterFromText(LoadLangString(txt::LoggerFilter));
        request.defaultSuffix = QStringLiteral("pdb");
        path = plat::ui().saveFileName(request);
        if (path.isEmpty())
            return false;
        path = WithLoggerExtension(path);
        SaveDefaultPath(path);
        if (!ConfirmOverwrite(path))
            return false;
    } else {
        path = document->windowTitle();
    }
    if (!SaveLoggerFile(document, path, QString()))
        return false;
    programWindows().RebuildMruMenu(path);
    return true;
}

bool SaveTextDocument(frmDocument* document, int titleText) {
    if (!document)
        return false;
    plat::FileDialogRequest request;
    request.parent = document;
    request.title = LoadLangString(titleText);
    request.fileName = document->windowTitle();
    request.filter = FileFilterFromText(LoadLangString(txt::TextFilter));
    const QString path = plat::ui().saveFileName(request);
    if (path.isEmpty())
        return false;
    if (path != document->windowTitle() && !ConfirmOverwrite(path))
        return false;
    return WriteTextDocument(document, path);
}

bool WriteTextDocument(frmDocument* document, const QString& path) {
    QString reason;
    if (!document->SaveFile(path, &reason)) {
        ShowMessage(LoadLangString(txt::TextSaveFailed) + path + u'\n' + reason, 0);
        return false;
    }
    document->setWindowTitle(path);
    // The text is in its file now: closing need not ask again.
    document->AskForSave = false;
    return true;
}

// ---------------------------------------------------------------------------------------------------------

void DocumentWindows::openDocument(const QString& path) {
    OpenDocument(path);
}

bool DocumentWindows::hasActiveDocument() const {
    return IsDocumentValid(ActiveDocument);
}

QString DocumentWindows::activeDocumentName() const {
    return IsDocumentValid(ActiveDocument) ? ActiveDocument->windowTitle() : QString();
}

void DocumentWindows::findInActive(const QString& text) {
    // Shows the first logger whose serial the text names.
    if (!IsDocumentValid(ActiveDocument))
        return;
    int32_t serial = 0;
    if (!plat::vb::toInt32(plat::vb::Val(text), &serial))
        return;
    const int16_t line = ActiveDocument->GetLineFromSerial(serial);
    if (line > 0) {
        ActiveDocument->MakeVisibleListLine(line);
        ActiveDocument->ListViewDMA_ItemClick(line);
    }
}

bool DocumentWindows::updateAllAdditionalInformation() {
    return IsDocumentValid(ActiveDocument) && ActiveDocument->UpdateAllAdditionalInformation();
}

bool DocumentWindows::editorVisible() const {
    frmDMAEdit* editor = frmDMAEdit::instance();
    return editor && editor->editorVisible();
}

void DocumentWindows::hideEditor() {
    if (frmDMAEdit* editor = frmDMAEdit::instance())
        editor->hideEditor();
}

void DocumentWindows::showEditor() {
    if (frmDMAEdit* editor = frmDMAEdit::instance())
        editor->showEditor();
}

void DocumentWindows::toggleGraph() {
    if (frmDMAEdit* editor = frmDMAEdit::instance())
        editor->toggleGraph();
}

void DocumentWindows::ConfigureAddress2EditBox() {
    if (frmDMAEdit* editor = frmDMAEdit::instance())
        editor->ConfigureAddress2EditBox();
}

void DocumentWindows::UpdateCommentsColumnHeader() {
    for (QWidget* form : plat::windows::loadedNamed(QStringLiteral("frmDMA"))) {
        if (auto* list = qobject_cast<frmDMA*>(form))
            list->UpdateCommentsColumnHeader();
    }
}
