#pragma once
#include <QString>

// Which shared library provides a component, by its ProgID: one text file of "ProgID=library path" lines in
// the per-user settings folder. Registering writes the line; creation looks it up and fails when absent.
namespace plat::components {

QString registrationFile();
bool registerServer(const QString& progId, const QString& libraryPath);
bool unregisterServer(const QString& progId);
// Empty when not registered.
QString libraryFor(const QString& progId);

// Whether a library may be loaded into this process. Loading runs the library's code with this process's
// rights, and the registration file may come from another user (a program run by root with a user's HOME),
// so the file loaded must be one that only root or this process's user can have put there: a regular file
// owned by one of them and not writable by group or others, in a folder of the same kind. Links are
// followed; the file they lead to is the one checked and the one to load.
struct LibraryCheck {
    QString file;    // the file to load (links resolved); empty when the path leads nowhere
    QString refusal; // why it may not be loaded, in words; empty when it may (or when there is no file)
};
LibraryCheck checkLibrary(const QString& path);

} // namespace plat::components
