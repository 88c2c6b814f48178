// The main window's File menu: new, open, save, save as, export, close, the recent files, merge, import
// and exit.
#include "vordalin/frmMain.h"

#include "core/MergeReadings.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/AmblewayImport.h"
#include "documents/DocumentFiles.h"
#include "documents/MergeCommands.h"
#include "documents/frmDMA.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/WindowRegistry.h"

#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>

#include <algorithm>
#include <vector>

namespace {

// A logger list file by its name's ending: .csv or .pdb, in any case.
bool isLoggerListFile(const QString& name) {
    const QString ending = name.right(4).toLower();
    return ending == QStringLiteral(".csv") || ending == QStringLiteral(".pdb");
}

} // namespace

void frmMain::mnuFileMRU_Click(int index) {
    const QString caption = mruCaption(index);
    if (caption.isEmpty())
        return;
    OpenDocument(caption);
    SaveDefaultPath(caption);
}

// ---------------------------------------------------------------------------------------------------------
// File commands

QMdiSubWindow* frmMain::activeChild() const {
    return mdiArea_->currentSubWindow();
}

QString frmMain::formNameOfActiveChild() const {
    QMdiSubWindow* child = activeChild();
    return child ? plat::windows::formName(child) : QString();
}

bool frmMain::ConfirmOverwrite(const QString& path) {
    return ::ConfirmOverwrite(path);
}

void frmMain::mnuFileNew_Click() {
    ShowStatusText(QString());
    NewDocument();
}

void frmMain::mnuFileOpen_Click() {
    ShowStatusText(QString());
    const QString folder = ForceNewPath ? plat::toLocalPath(ForcePath) : lastUsedFolder();
    const QString name = askForLoggerFile(txt::OpenTitle, folder, QStringLiteral("*.csv"));
    if (name.isEmpty())
        return;
    if (isLoggerListFile(name))
        OpenDocument(name);
    else
        OpenTextDocument(name);
}

QString frmMain::askForLoggerFile(int titleText, const QString& folder, const QString& fileName) {
    dlgCommonDialog.parent = this;
    dlgCommonDialog.title = LoadLangString(titleText);
    dlgCommonDialog.folder = folder;
    dlgCommonDialog.fileName = fileName;
    dlgCommonDialog.filter = loggerFileFilter_;
    const QString name = plat::ui().openFileName(dlgCommonDialog);
    if (!name.isEmpty())
        dlgCommonDialog.fileName = name;
    return name;
}

QString frmMain::lastUsedFolder() const {
    // The folder of the file the last file command chose, else the one a save or a recent file last used.
    for (const QString& path : {dlgCommonDialog.fileName, DefaultPath}) {
        const QString local = plat::toLocalPath(path);
        const qsizetype slash = local.lastIndexOf(u'/');
        if (slash < 0)
            continue;
        const QString folder = slash == 0 ? QStringLiteral("/") : local.left(slash);
        if (QFileInfo(folder).isDir())
            return folder;
    }
    return dlgCommonDialog.folder;
}

void frmMain::OpenTextDocument(const QString& path) {
    auto* window = new frmDocument;
    if (!window->LoadFile(path)) {
        delete window;
        ShowMessage(LoadLangString(txt::TextLoadFailed) + path, 0);
        return;
    }
    window->setWindowTitle(path);
    ShowDocumentWindow(window);
}

bool frmMain::SaveDocumentAs(QString& name, int titleText) {
    auto* document = qobject_cast<frmDocument*>(activeChild());
    if (!document)
        return false;
    dlgCommonDialog.parent = this;
    dlgCommonDialog.fileName = name;
    dlgCommonDialog.title = LoadLangString(titleText);
    dlgCommonDialog.filter = textDocumentFilter_;
    const QString chosen = plat::ui().saveFileName(dlgCommonDialog);
    if (chosen.isEmpty())
        return false;
    dlgCommonDialog.fileName = chosen;
    // The name the command came with was confirmed before the dialog; another existing file is asked here.
    if (chosen != name && !ConfirmOverwrite(chosen))
        return false;
    name = chosen;
    return WriteTextDocument(document, name);
}

bool frmMain::SaveActiveTextDocument(int titleText) {
    if (formNameOfActiveChild() != QStringLiteral("frmDocument"))
        return false;
    QString name = activeChild()->windowTitle();
    if (ConfirmOverwrite(name))
        SaveDocumentAs(name, titleText);
    return true;
}

bool frmMain::FileCommandReachesLoggerWindow(int titleText) {
    ShowStatusText(QString());
    // With no window at all the user is told there is no logger list, as Export and Merge tell it.
    if (!activeChild())
        return RequireLoggerWindow();
    if (SaveActiveTextDocument(titleText))
        return false;
    return RequireLoggerWindow();
}

bool frmMain::RequireLoggerWindow() {
    if (IsDocumentValid(ActiveDocument))
        return true;
    ShowMessage(LoadLangString(txt::NoDocument), 0);
    return false;
}

void frmMain::mnuFileSave_Click() {
    if (!FileCommandReachesLoggerWindow(txt::SaveTitle))
        return;
    // Asks for a name when the window has no file yet, writes it and adds it to the recent files.
    SaveLoggerDocument(ActiveDocument);
}

void frmMain::mnuFileSaveAs_Click() {
    if (!FileCommandReachesLoggerWindow(txt::SaveAsTitle))
        return;
    frmDMA* document = ActiveDocument;
    if (document->RecordCount < 1) {
        ShowMessage(LoadLangString(txt::SaveEmptyList), 0);
        return;
    }
    QString prefix;
    if (document->NeverBeenSaved && ForceNewPath) {
        prefix = ForcePath;
        if (!prefix.endsWith(u'\\') && !prefix.endsWith(u'/'))
            prefix += u'\\';
    } else if (document->AskForSave) {
        prefix = DefaultPath;
    }
    const QString name = document->AskForSave ? document->DMAName : document->windowTitle();
    dlgCommonDialog.parent = this;
    dlgCommonDialog.fileName = plat::toLocalPath(prefix + name);
    dlgCommonDialog.title = LoadLangString(txt::SaveAsTitle);
    dlgCommonDialog.folder = ForceNewPath ? plat::toLocalPath(ForcePath) : plat::programDir();
    dlgCommonDialog.filter = loggerFileFilter_;
    dlgCommonDialog.defaultSuffix = QStringLiteral("pdb");
    QString chosen = plat::ui().saveFileName(dlgCommonDialog);
    dlgCommonDialog.defaultSuffix.clear();
    if (chosen.isEmpty())
        return;
    chosen = WithLoggerExtension(chosen);
    dlgCommonDialog.fileName = chosen;
    SaveDefaultPath(chosen);
    if (!ConfirmOverwrite(chosen))
        return;
    // Only a file that was written joins the recent files.
    if (SaveLoggerFile(document, chosen, QString()))
        RebuildMruMenu(chosen);
}

void frmMain::mnuFileExport_Click() {
    ShowStatusText(QString());
    if (!RequireLoggerWindow())
        return;
    frmDMA* document = ActiveDocument;
    if (document->RecordCount < 1) {
        ShowMessage(LoadLangString(txt::ExportEmptyList), 0);
        return;
    }
    dlgCommonDialog.parent = this;
    dlgCommonDialog.fileName = document->AskForSave ? document->DMAName : document->windowTitle();
    dlgCommonDialog.title = LoadLangString(txt::ExportTitle);
    dlgCommonDialog.filter = QStringLiteral("*.csv");
    const QString chosen = plat::ui().saveFileName(dlgCommonDialog);
    if (chosen.isEmpty())
        return;
    dlgCommonDialog.fileName = chosen;
    // The export is written under the chosen name with ".csv" added, a name the file dialog never saw: an
    // existing file of that name is confirmed before it is replaced. The recent files get the name as chosen
    // (by default the list's own file), not the export.
    const QString written = chosen + QStringLiteral(".csv");
    if (!ConfirmOverwrite(written))
        return;
    if (SaveLoggerFile(document, chosen, QStringLiteral(".csv")))
        RebuildMruMenu(chosen);
}

void frmMain::mnuFileClose_Click() {
    if (!FileCommandReachesLoggerWindow(txt::SaveTitle))
        return;
    ActiveDocument->close();
}

void frmMain::mergeCommand() {
    ShowStatusText(QString());
    if (!RequireLoggerWindow())
        return;
    if (ActiveDocument->RecordCount < 1) {
        ShowMessage(LoadLangString(txt::MergeEmptyList), 0);
        return;
    }
    const QString name = askForLoggerFile(txt::MergeTitle, plat::programDir(), QString());
    if (name.isEmpty())
        return;
    if (!isLoggerListFile(name)) {
        ShowMessage(LoadLangString(txt::MergeFileType), 0);
        return;
    }
    if (MergeByRDGrid)
        MergeReadingsByRDGridCommand(name);
    else
        MergeReadingsCommand(name);
}

void frmMain::mnuFileMerge_Click() {
    mergeCommand();
}

// The merge by coordinate takes the patrol from the chosen file and merges into the active window.
void frmMain::mnuMergeByRDGrid_Click() {
    MergeByRDGrid = true;
    mergeCommand();
    MergeByRDGrid = false;
}

void frmMain::mnuFileImport_Click() {
    ImportAmblewayFile();
}

void frmMain::mnuFileExit_Click() {
    close();
}
