#pragma once
// Windows of the upper layers that the core routines must reach (the status bar, the record editor, the main
// window's menu items, the open documents). Each upper-layer window registers itself at start-up; with
// nothing registered the routines do the least they can (no status bar: the text goes nowhere).
#include <QString>

class QWidget;

struct IStatusSink {
    virtual ~IStatusSink() = default;
    virtual void setStatusText(const QString& text) = 0;
};

struct IRecordEditorSeam {
    virtual ~IRecordEditorSeam() = default;
    virtual bool editorVisible() const = 0;
    virtual void hideEditor() = 0;
    virtual void showEditor() = 0;
    virtual void toggleGraph() = 0;
};

// What the settings and start-up routines use of the main window.
struct IMainWindowSeam {
    virtual ~IMainWindowSeam() = default;
    virtual QWidget* widget() = 0;
    virtual void setFollowMouseChecked(bool checked) = 0;
    virtual QString mruCaption(int item) const = 0; // items 1..4
    virtual void setMruCaption(int item, const QString& caption) = 0;
    virtual void setMruVisible(int item, bool visible) = 0;
    virtual bool isMinimized() const = 0;
    // Left, top, width and height in twips.
    virtual void placementTwips(double* left, double* top, double* width, double* height) const = 0;
    virtual void showMain() = 0;
};

// The open logger documents, as far as the core routines need them.
struct IDocumentHost {
    virtual ~IDocumentHost() = default;
    virtual void openDocument(const QString& path) = 0;
    virtual bool hasActiveDocument() const = 0;
    virtual QString activeDocumentName() const = 0; // the active window's file name
    virtual void findInActive(const QString& text) = 0;
    virtual bool updateAllAdditionalInformation() = 0;
};

// Windows that start-up creates and that later parts of the program fill in.
struct IStartupWindows {
    virtual ~IStartupWindows() = default;
    virtual void startAutoSyncWatcher() = 0;
    virtual void initTransferFolders() = 0;
    virtual void loadRecordEditorHidden() = 0;
    virtual bool showMapWindow() = 0; // false when the map could not be started
};

namespace seams {
extern IStatusSink* status;
extern IRecordEditorSeam* recordEditor;
extern IMainWindowSeam* mainWindow;
extern IDocumentHost* documents;
extern IStartupWindows* startupWindows;
} // namespace seams
