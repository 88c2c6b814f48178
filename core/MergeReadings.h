#pragma once
// Merging a patrol's newest readings into an area file: by serial number (the active window is the patrol, a
// chosen file the destination) or by the coordinate field (a chosen file is the patrol, the active window the
// destination). Both keep a numbered backup of the file they overwrite and show a report of what they did.
#include "MergeTarget.h"

#include <QString>

#include <cstdint>
#include <string>

class VariStack;

// Set by the main window when the merge is started from its "by coordinate" command.
extern bool MergeByRDGrid;

// The merges of a patrol file into the host's active list window (the document layer passes its windows,
// tests a fake).
void MergeReadings(IMergeHost& host, const QString& path);
void MergeReadingsByRDGrid(IMergeHost& host, const QString& path);

// The first of path.000 ... path.999, path.1000 ... that names no existing file; empty when none is free.
QString MakeBackupName(const QString& path);
// Appends the merge window's records held on the pending stack to the end of the table, then empties it.
void AppendPendingRecords(IMergeWindow& window);
// The record numbers still to be appended by AppendPendingRecords (kept for the whole run).
VariStack& PendingStack();
// Puts the newest reading of table record s on top of table record d (its slot 50 drops off).
void InsertNewestReading(int d, int s);
bool SameNewestReading(int a, int b);
// Records 1..7000 become empty; record 0 and LoggerCount stay.
void ClearLoggerTable();
// hhmmss becomes hh:mm:ss; other texts stay as they are.
std::string FormatReceivedTime(const std::string& text);
// dd/mm/yyyy (any one-character separators) becomes yyyy/mm/dd; yyyy/mm/dd and short texts stay.
std::string FormatReadingDate(const std::string& text);
// The coordinate field as the merge by coordinate compares it: a numeric text as a whole number in twenty
// digits, any other text as it stands.
std::string CoordinateKey(const std::string& comment2);
