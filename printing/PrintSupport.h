#pragma once
// The printer and page setup dialogs. Both start from the current printer and, when confirmed, make the
// chosen device current and copy copies, duplex and orientation onto it (page setup: orientation only;
// margins and paper chosen there are not used). Cancelling changes nothing.
class QWidget;

namespace printing {

// The print dialog; true when the user confirmed it. flags: QAbstractPrintDialog::PrintDialogOptions bits
// to switch on (0 for the defaults).
bool ShowPrinterDialog(QWidget* owner, int flags = 0);
void ShowPageSetupDialog(QWidget* owner);

} // namespace printing
