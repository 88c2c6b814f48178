#pragma once
// What the File menu uses of printing: the report options dialog and the printer's page setup. The printing
// layer registers both at start-up; until then the commands do nothing.
#include <QDialog>

#include <functional>

// The report options dialog: prints the logger list of the active list window.
class frmPrintSetup : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;
};

namespace printing {
// Makes the report options dialog (owned by the caller).
extern std::function<frmPrintSetup*(QWidget* parent)> createPrintSetup;
// Shows the printer's page-setup dialog for a form.
extern std::function<void(QWidget* owner)> pageSetup;
} // namespace printing

// Shows the report options dialog modally and unloads it when it returns.
void ShowPrintSetup(QWidget* parent);
void ShowPageSetupDialog(QWidget* owner);
