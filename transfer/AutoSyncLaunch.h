#pragma once
// Starting the auto-sync utility: it runs from the program folder with no arguments, and the main program
// waits for it. Files travel between the two only through the folders below.
#include <QString>

class QWidget;

// The PDA queue (PC to PDA) and the drop (PDA to PC), below the program folder. An existing folder of any
// letter case is taken as it is.
QString AutoExportFolder();
QString AutoImportFolder();

// The utility's path: the program folder, "/", and its file name.
QString SyncUtilityPath();

// Menu "Synchronise PDA" and toolbar key "Synchronise PDA": runs the utility and waits for it to end, then
// brings the main window back to the front. A utility that cannot be started is reported.
void SyncUtilityLaunch(QWidget* mainWindow);
inline void mnuRovemarkSyncPDA_Click(QWidget* mainWindow) {
    SyncUtilityLaunch(mainWindow);
}
