#pragma once
// The main window's PDA commands: download from the hand-held (the downloaded files open as logger lists)
// and upload to it, both through the PDA link library's own windows. One object per main window keeps the
// library's object once it has been created.
#include "pdalink/PdaSupportClient.h"

#include <cstdint>

class QWidget;

class PdaCommands {
public:
    // mainWindow: where the library's windows are placed (a third of its size inside its top left corner).
    explicit PdaCommands(QWidget* mainWindow);

    // Menu "PDA to PC" and toolbar key "From PDA".
    void mnuRovemarkDownloadPatrol_Click();
    // Menu "PC to PDA" and toolbar key "To PDA".
    void mnuRovemarkUploadDMA_Click();
    // Shows the library's upload window; an error from the library ends it quietly.
    void ExportFileToPDA();

    // The create-register-retry loop into PdaSupportObject; created tells whether it worked.
    void CreatePdaSupport(bool& created);

    // Left and top for the library's windows, in twips: the window's left + width / 3 and top + height / 3,
    // rounded and kept inside the 16-bit range the library takes.
    static void LibraryWindowPosition(double left, double top, double width, double height, int16_t* x, int16_t* y);

    pda::PdaSupportObject PdaSupportObject;
    bool PdaSupportCreated = false;

private:
    void windowPosition(int16_t* x, int16_t* y) const;
    QWidget* main_;
};
