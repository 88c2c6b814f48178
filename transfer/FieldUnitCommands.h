#pragma once
// The main window's Rovemark commands: receive all or chosen files from the field unit into new logger list
// windows, send all or chosen list windows to it, and its options.
#include <QString>

#include <functional>

class QWidget;
class frmDMA;

// What the commands use of the main window.
struct FieldUnitFrame {
    QWidget* owner = nullptr;                  // parent of the selection and options windows
    std::function<void(bool enable)> interact; // the main window's Interact; may be empty
};

void ReceiveAllFromFieldUnit(const FieldUnitFrame& frame);
void ReceiveSomeFromFieldUnit(const FieldUnitFrame& frame);
void SendAllToFieldUnit(const FieldUnitFrame& frame);
void SendSomeToFieldUnit(const FieldUnitFrame& frame);
// The options dialog, where the port, the modem and the number to dial are set.
void FieldUnitOptions(const FieldUnitFrame& frame);

// The file a list window is sent as: its file title, with ".PDB" added unless it already ends so (any case).
QString FieldUnitFileName(const QString& dmaName);
// Writes one window into the to-folder in the field-unit layout. On failure the user is told (the writer's
// text and the file), nothing of the failed file is left in the folder, and false is returned.
bool WriteWindowToFieldUnitFolder(frmDMA* window);
// Opens one received file as a new list window marked as an unsaved download and captioned with the next
// download number. False (nothing marked or counted) when no window opened for it.
bool OpenReceivedFile(const QString& path);
