#pragma once
// The main program's start-up on the window side.
#include <QStringList>

class frmMain;

// Runs the start-up steps (settings, splash, exchange folders, the hidden record editor, the main window) and
// opens what the arguments name. The caller registers the main window as the program's windows first and
// runs the event loop afterwards.
void Main(frmMain& main, const QStringList& arguments);
