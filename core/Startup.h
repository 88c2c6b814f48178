#pragma once
// The main program's start-up, its command line and the small routines the main window calls.
#include <QString>
#include <QStringList>

class QWidget;

// Runs the start-up steps (the main window and the other start-up windows must be registered in the seams
// first) and opens what the arguments name. The caller then runs the event loop.
void Main(const QStringList& arguments);

bool OpenBySerial(const QString& serial);
// Full path of the first folder named "vordhub" (any letter case) below folder, depth first; "" when none.
QString FindVordhubFolder(const QString& folder);
// Full path of the first *.pdb file directly in folder holding a logger with that serial; "" when none.
QString FindDatabaseWithSerial(const QString& folder, const QString& serial);

void SetDefaultMainSize(QWidget* form);
void CentreForm(QWidget* form);
void ShowMapWindow();
void UpdateAllAddInfoCommand();
void StartAutoSyncWatcher();

// Shown at start-up; the about box shows the same window longer.
constexpr int kStartupSplashDelay = 3750;
