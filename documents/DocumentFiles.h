#pragma once
// Opening, creating and saving logger documents: the steps between the logger table, its files and the list
// windows, and the program-wide reference to the current list window.
#include "core/ProgramWindows.h"

#include <QPointer>
#include <QString>

class QMdiArea;
class QMdiSubWindow;
class frmDMA;
class frmDocument;

// The logger list window that is current; empty when there is none (or it has been closed).
extern QPointer<frmDMA> ActiveDocument;

// The MDI area new document windows open in; without one (tests) they stay unshown top-level windows.
void SetDocumentArea(QMdiArea* area);
QMdiArea* DocumentArea();
// Puts a new document window into the MDI area (when there is one) and shows it.
void ShowDocumentWindow(QMdiSubWindow* window);

bool LoadFileWithReport(const QString& path);
// Opens path in a new list window. When a window already holds that file it comes forward instead, unless the
// file changed on disk since that window read or wrote it and the user asks for a new window.
void OpenDocument(const QString& path);
// The list window whose file path names (the same path, or another name of the same file), leaving out except;
// null when no window holds it. Windows without a file of their own hold none.
frmDMA* WindowHoldingFile(const QString& path, const frmDMA* except = nullptr);
void NewDocument();
// Writes the records of document to path + extension (".csv" writes the CSV column layout) and copies the
// written file into the PDA queue folder. Returns true when the file was written. It asks first (and writes
// nothing on No) when the window's own file changed on disk since the window read or wrote it, and when
// another file it would replace is held by another window.
bool SaveLoggerFile(frmDMA* document, const QString& path, const QString& extension);
bool IsDocumentValid(const QPointer<frmDMA>& document);
// A logger file name as chosen in a save dialog: a name without an extension gets ".pdb", so the file is
// one that Open's filter and the serial search find.
QString WithLoggerExtension(const QString& path);
// True unless a file of that path exists and the user answers No to replacing it. The save dialogs do not
// ask themselves: the commands ask once, here.
bool ConfirmOverwrite(const QString& path);

// The Save command's steps for one logger list window (the one being closed, or the active one): asks for a
// name when it has no file yet. True when the window's records are now in its file.
bool SaveLoggerDocument(frmDMA* document);
// The Save command's steps for a text document window: a name from the save dialog, then the rich-text file.
bool SaveTextDocument(frmDocument* document, int titleText);
// Writes a text document window to path, a failure told to the user with the file and the system's reason. Once
// written, the window carries the path as its title and closing it need not ask again.
bool WriteTextDocument(frmDocument* document, const QString& path);

// A language text holding a file filter in "description|patterns|description|patterns" form, as Qt wants it.
QString FileFilterFromText(const QString& pairs);

// The windows of this layer as the routines below reach them: the open logger documents, the record editor
// and the coordinate field of both. The main window adds its own part (vordalin/frmMain.h); tests register
// this alone.
class DocumentWindows : public ProgramWindows {
public:
    void openDocument(const QString& path) override;
    bool hasActiveDocument() const override;
    QString activeDocumentName() const override;
    void findInActive(const QString& text) override;
    bool updateAllAdditionalInformation() override;

    bool editorVisible() const override;
    void hideEditor() override;
    void showEditor() override;
    void toggleGraph() override;

    // The record editor takes the new coordinate mask; every loaded list window retitles its comment-2 column.
    void ConfigureAddress2EditBox() override;
    void UpdateCommentsColumnHeader() override;
};
