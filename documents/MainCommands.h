#pragma once
// Commands of the main window that other parts of the program carry out: list editing, the logger commands,
// the readings merge, the serial search, the field-unit and PDA transfers, the record editor, the map and the
// direct logger link. Each part fills its entries here when it starts (before or after the main window is
// built); the main window keeps the menu items and toolbar buttons of an empty entry disabled, so no command
// is ever offered that would silently do nothing.
#include <QString>

#include <functional>

class QDialog;
class QWidget;
class frmDMA;

namespace maincmd {

struct Hooks {
    // Edit menu, on the list window in ActiveDocument.
    std::function<void(frmDMA*)> CutRecords;
    std::function<void(frmDMA*)> CopyRecords;
    std::function<void(frmDMA*)> PasteRecords;

    // Search menu.
    std::function<void()> FindCommand;
    std::function<void()> FindNextCommand;
    std::function<QDialog*(QWidget* parent)> createCatalogue; // the serial search window, shown modally

    // Logger menu and the "AddVordalin" toolbar button.
    std::function<void()> AddLoggerCommand;
    std::function<void()> RemoveLoggerCommand;
    std::function<void()> ChangeSerialCommand;
    std::function<void()> ChangeDeployDateCommand;
    std::function<void()> FillCommand;
    // File, New from current window.
    std::function<void()> NewWindowCommand;

    // The readings merge of a chosen file into the active list window; the main window sets MergeByRDGrid
    // while the by-coordinate command runs.
    std::function<void(const QString& path)> MergeReadings;
    std::function<void(const QString& path)> MergeReadingsByRDGrid;

    // Field-unit and PDA menu items (and their toolbar buttons).
    std::function<void()> mnuRovemarkFromSome_Click;
    std::function<void()> mnuRovemarkFromAll_Click;
    std::function<void()> mnuRovemarkToSome_Click;
    std::function<void()> mnuRovemarkToAll_Click;
    std::function<void()> mnuRovemarkOptions_Click;
    std::function<void()> mnuRovemarkUploadDMA_Click;
    std::function<void()> mnuRovemarkDownloadPatrol_Click;
    std::function<void()> mnuRovemarkSyncPDA_Click;

    // View menu: the record editor and the column sizing of the active list window (column -1: all;
    // show: unhide hidden columns).
    std::function<void()> ShowRecordEditor;
    std::function<void(int column, bool show)> AutoSizeColumns;

    // The map window can be started (the "gps" toolbar button).
    bool mapViewAvailable = false;

    // The direct-link set-up window, shown modally; nothing passed or returned.
    std::function<QDialog*(QWidget* parent)> createSarnicSetup;
};

Hooks& hooks();

// Tells the main window (when there is one) that entries changed, so it enables what is now provided. The
// printing seams (PrintSeams.h) and the record editor are looked at at the same time.
void hooksChanged();
// The main window's listener for hooksChanged (one at a time; nullptr removes it).
void setHooksListener(std::function<void()> listener);

} // namespace maincmd
