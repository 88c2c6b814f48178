#pragma once
// The start-up's work below the windows: the command line's files and serials, and the search of the
// Vordhub folder for the file that holds a serial. The main program runs the window steps (vordalin/).
#include <QString>
#include <QStringList>

// Opens what the arguments name: "/s=<serial>" finds the logger's file in the Vordhub folder, opens it and
// shows the logger's graph; anything else is a file to open.
void OpenStartupArguments(const QStringList& arguments);

bool OpenBySerial(const QString& serial);
// Full path of the first folder named "vordhub" (any letter case) below folder, depth first; "" when none.
QString FindVordhubFolder(const QString& folder);
// Full path of the first *.pdb file directly in folder holding a logger with that serial; "" when none.
QString FindDatabaseWithSerial(const QString& folder, const QString& serial);
