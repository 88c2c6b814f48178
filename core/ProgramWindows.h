#pragma once
// The one way up: what the routines of the lower layers need of the program's windows above them. The
// program registers one implementation at start-up (the main window); with none registered every call does
// the least it can (status text goes nowhere, no editor is shown, no document opens). Everything else the
// windows do, they do by calling down directly.
#include <QString>

class QWidget;

class ProgramWindows {
public:
    virtual ~ProgramWindows() = default;

    // The main window (the parent of the dialogs the commands show); nullptr when there is none.
    virtual QWidget* mainWidget() { return nullptr; }

    // Status bar.
    virtual void setStatusText(const QString& text) {}

    // The record editor: hidden around a message box, shown on a found logger, its graph toggled.
    virtual bool editorVisible() const { return false; }
    virtual void hideEditor() {}
    virtual void showEditor() {}
    virtual void toggleGraph() {}
    // An open map window follows the record editor's changes (Update, Update Serial).
    virtual void mapRefreshLoggers() {}
    virtual void mapUpdateSerial(QString& oldSerial, QString& newSerial) {}

    // The logger documents that start-up, the serial search and the commands open into.
    virtual void openDocument(const QString& path) {}
    virtual bool hasActiveDocument() const { return false; }
    virtual QString activeDocumentName() const { return {}; } // the active window's file name
    virtual void findInActive(const QString& text) {}
    virtual bool updateAllAdditionalInformation() { return false; }

    // The coordinate system changed (it is stored already): the record editor takes the new entry mask, then
    // the logger list windows retitle their comment-2 column.
    virtual void ConfigureAddress2EditBox() {}
    virtual void UpdateCommentsColumnHeader() {}

    // The main window as the settings and the long commands use it (hasMainWindow: there is one to save).
    virtual bool hasMainWindow() const { return false; }
    virtual void Interact(bool enable) {} // menus, toolbar and the loaded forms off (false) and on again
    virtual void setAutoSizeChecked(bool checked) {}
    // Sizes the columns of the active list window (column -1: all; show: unhide hidden ones).
    virtual void AutoSizeColumns(int column, bool show) {}
    virtual void RebuildMruMenu(const QString& path) {} // a logger file was saved: it joins the recent files
    virtual void setFollowMouseChecked(bool checked) {}
    virtual QString mruCaption(int item) const { return {}; } // items 1..4
    virtual void setMruCaption(int item, const QString& caption) {}
    virtual void setMruVisible(int item, bool visible) {}
    virtual bool isMinimized() const { return false; }
    // Left, top, width and height in twips.
    virtual void placementTwips(double* left, double* top, double* width, double* height) const {}
};

// The registered windows, or a quiet stand-in when none are.
ProgramWindows& programWindows();
// Registers the program's windows (not owned); nullptr goes back to the quiet stand-in.
void RegisterProgramWindows(ProgramWindows* windows);
