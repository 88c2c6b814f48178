#pragma once
// The main window's printing commands.
//
//   File > Print... (mnuFilePrint, Ctrl+P) and the toolbar key "Print":  printing::PrintCommand(main, active)
//   File > Page Setup... (mnuFilePageSetup):                             printing::PageSetupCommand(main)
//
// Both are always available: a user without a printer prints to the "PDF" printer.
class QMdiSubWindow;
class QWidget;
class frmDMA;
class frmDocument;

namespace printing {

// Opens the report options dialog for the main window's active child window: a text document window prints
// its text; any other child prints the logger list in ActiveDocument. Does nothing without an active child.
void PrintCommand(QWidget* mainWindow, QMdiSubWindow* activeChild);

// The report options dialog on a given list (or text document), shown modally until the user prints or
// cancels; the preview runs in between as often as the user asks for it.
void ShowPrintSetup(QWidget* parent, frmDMA* list, frmDocument* textDocument = nullptr);

// The printer's page setup for the main window.
void PageSetupCommand(QWidget* mainWindow);

} // namespace printing
