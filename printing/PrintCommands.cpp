#include "printing/PrintCommands.h"

#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"
#include "documents/frmDocument.h"
#include "platform/UiServices.h"
#include "printing/PrintSupport.h"
#include "printing/frmPrintSetup.h"

#include <QMdiSubWindow>

namespace printing {

void ShowPrintSetup(QWidget* parent, frmDMA* list, frmDocument* textDocument) {
    frmPrintSetup dialog(parent, list, textDocument);
    while (plat::ui().execDialog(&dialog) == frmPrintSetup::PreviewRequested)
        dialog.ShowPreview();
}

void PrintCommand(QWidget* mainWindow, QMdiSubWindow* activeChild) {
    if (!activeChild)
        return;
    auto* textDocument = qobject_cast<frmDocument*>(activeChild);
    ShowPrintSetup(mainWindow, textDocument ? nullptr : ActiveDocument.data(), textDocument);
}

void PageSetupCommand(QWidget* mainWindow) {
    ShowPageSetupDialog(mainWindow);
}

} // namespace printing
