#pragma once
#include <QString>

namespace plat {

// The folder the programs and their language files live in: $VORD_PROGRAM_DIR when set (tests, read-only
// installs), otherwise the executable's own folder. Never ends with a separator.
QString programDir();
// Lets a program (or a test) pin the folder explicitly; an empty value goes back to the rules above.
void setProgramDir(const QString& dir);

// The application title: caption of message boxes and the key of the per-user settings.
QString appTitle();
void setAppTitle(const QString& title);

int versionMajor();
int versionMinor();
int versionRevision();

} // namespace plat
