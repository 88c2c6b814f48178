#pragma once
// The commands of the parts of the program below the main window that its menus and toolbar run, with what
// each needs of the main window handed over (the window as parent, its Interact switch, the one PDA support
// object of the session). They have the command table's handler shape.
#include "mapview/MapCommands.h"

#include <QString>

class frmMain;

namespace cmd {

void ReceiveSomeFromRovemark(frmMain& main, int);
void ReceiveAllFromRovemark(frmMain& main, int);
void SendSomeToRovemark(frmMain& main, int);
void SendAllToRovemark(frmMain& main, int);
void RovemarkOptions(frmMain& main, int);

void UploadToPda(frmMain& main, int);
void DownloadFromPda(frmMain& main, int);
void SynchronisePda(frmMain& main, int);

void Print(frmMain& main, int);
void PageSetup(frmMain& main, int);

void SarnicSetup(frmMain& main, int);

} // namespace cmd

// Start-up steps of these parts: the auto-import watcher, and the current printer handed to the map view and
// the direct-link windows so that every print goes through the printer the setup dialogs configure.
void StartSubsystems(frmMain& main);
// The map window's print: one job on the current printer with the page the map draws, in the map's
// orientation (1 landscape, 0 portrait) and number of copies; both are put back afterwards. The user is told
// when the job fails (false then, and when the PDF file choice was cancelled); a failed or abandoned job
// leaves no file behind.
bool PrintMapJob(const QString& title, int copies, int orientation, const mapview::MapPageDrawer& drawPage);
// The map command's last step: the map window of the active list, or the message that it could not start.
void ShowMapWindow();
// The record editor's calls into an open map window.
void MapRefreshLoggers();
void MapUpdateSerial(QString& oldSerial, QString& newSerial);
