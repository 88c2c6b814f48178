#pragma once
// The core's readings merge, serial search and options dialog on the real windows: the logger list windows,
// the text document window for the merge report and the main window as the parent.
#include <QString>

class IMergeHost;
class QWidget;

// File, "Add most recent patrol to..." and "Merge by Coordinate Reference" once the patrol file is chosen.
void MergeReadingsCommand(const QString& path);
void MergeReadingsByRDGridCommand(const QString& path);
// Search, "For serial number in files...": the serial search window, modal.
void SearchSerialInFilesCommand(QWidget* parent);
// The host the merge uses over the real windows (for callers that run a merge directly).
IMergeHost& DocumentMergeHost();
