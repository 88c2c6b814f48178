#pragma once
// The logger commands of the main window on the active list window: add, remove, change serial, change
// deployment dates, fill, find and find next, column sizes, a new window with the same loggers, and the update
// of every logger's additional information.
#include <QString>

#include <cstdint>

class frmDMA;
class FillDialog;

void AddLoggerCommand();
void RemoveLoggerCommand();
void ChangeSerialCommand();
void ChangeDeployDateCommand();
void FillCommand();
void FindCommand();
void FindNextCommand();
void AutoSizeColumns(int16_t column, bool& show);
// The same on one list window, whichever is current (a window resized while another is current).
void AutoSizeColumnsOf(frmDMA* document, int16_t column, bool& show);
void AutoSizeColumnsHelper(frmDMA* document, int16_t column, float width, bool onlyIfShown);
void NewWindowCommand();
// Fills every logger's additional information of the active list window from the dialog's choice; the status
// bar says whether anything was updated.
void UpdateAllAddInfoCommand();

// The fill's work on one window: count loggers from start, FillIncrement apart, with grid numbers counting
// up from grid (empty: none). Returns the serials already present, one per line; refuses (message, nothing
// added, false) a run that leaves the valid serials or would take the window past 7000 loggers.
bool FillLoggers(frmDMA* document, int32_t start, int32_t count, const QString& grid, QString* report);

// The fill dialog, made on the first fill and kept (hidden) for the run.
FillDialog* fillDialog();
