#pragma once
#include <QString>
#include <QStringList>

// Paths the programs store and show keep their Windows spelling ("C:\tessaly\qdata", "rovemark\from").
// These helpers turn such paths into Linux ones and list folders in one defined order.
namespace plat {

// "\" and "/" are both separators. A leading drive letter ("C:") names the root of this system, so
// "C:\tessaly\qdata" becomes "/tessaly/qdata". A relative path stays relative.
QString toLocalPath(const QString& anyPath);

// Resolves each component of a path against what exists on disk without regard to letter case, so that
// "Rovemark\AutoExport" finds an existing "rovemark/autoexport". Components that do not exist keep the
// spelling given. Returns a local path.
QString resolvePath(const QString& anyPath);

// Joins a folder and a relative Windows-style tail, resolving the tail without regard to case.
QString resolveIn(const QString& folder, const QString& tail);

// Wildcard match of a file name ('*' any run, '?' one character), without regard to case.
bool wildcardMatch(const QString& pattern, const QString& name);

// Regular, non-hidden files directly in folder whose names match one of the patterns (separated by ';'),
// sorted by name without regard to case. Returns bare names.
QStringList listFiles(const QString& folder, const QString& patterns = QStringLiteral("*"));

// Direct subfolders (not symbolic links), sorted by name without regard to case. Bare names.
QStringList listSubfolders(const QString& folder);

// The first regular file that a Windows directory search for pathWithPattern would return (the last
// component may hold wildcards; the folder part is resolved without regard to case). Empty when none.
QString findFirstFile(const QString& pathWithPattern);

// The mode bits say nobody may write it (tests run as root, so access() would always say yes).
bool isReadOnlyFile(const QString& path);

} // namespace plat
