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

} // namespace plat::components
