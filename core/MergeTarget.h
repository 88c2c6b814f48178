#pragma once
// What the readings merge needs of the logger list windows and of the main window. The document layer passes
// its implementation to each merge; tests pass a fake one, so the merge runs without any widget.
#include <QString>

#include <cstdint>

// One logger list window taking part in a merge (the patrol of a merge by serial, the destination of a merge
// by coordinate).
class IMergeWindow {
public:
    virtual ~IMergeWindow() = default;
    virtual int16_t RecordCount() const = 0;
    virtual QString DMAName() const = 0;
    // The window's caption: the full path of its file once it has been saved or opened.
    virtual QString Caption() const = 0;
    // Copies the window's record index (1..RecordCount) into LoggerTable[slot].
    virtual void GetLocalRecByIndex(long slot, int16_t index) = 0;
    virtual bool AskForSave() const = 0;
    virtual void SetAskForSave(bool value) = 0;
    virtual bool NeverBeenSaved() const = 0;
    virtual void SetNeverBeenSaved(bool value) = 0;
    // Closes the window (its records are in the file that is opened again afterwards).
    virtual void Unload() = 0;
};

// The rest of the program as the merge sees it.
class IMergeHost {
public:
    virtual ~IMergeHost() = default;
    // The current logger list window, or nullptr.
    virtual IMergeWindow* ActiveWindow() = 0;
    // Switches the main window's commands off (false) around the merge and on again (true).
    virtual void Interact(bool enable) = 0;
    // Reads a database file into the logger table, showing its own messages; false when it did not load.
    virtual bool LoadFileWithReport(const QString& path) = 0;
    // Opens a database file in a new logger list window.
    virtual void OpenDocument(const QString& path) = 0;
    // Shows the merge report in a new text document window.
    virtual void ShowReport(const QString& caption, const QString& text) = 0;
};
