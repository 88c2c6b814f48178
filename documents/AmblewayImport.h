#pragma once
// The import of an Ambleway unit's logger list: the communications server receives the file, the main window
// closes the server and takes every line of the file into the active logger list window.
#include <QString>

#include <string>
#include <vector>

// The whole command: starts the server, waits for the user, closes the server, imports the first "*.txt" of
// the folder named by AmblewayPath and keeps the file as ".bak".
void ImportAmblewayFile();

// dd/mm/yyyy becomes yyyy/mm/dd; anything that is then no valid date gives the empty date mask "    /  /  ".
QString ConvertImportDate(const QString& s);
// Digits, ASCII letters and , - . / stay; every other character becomes a blank.
QString CleanImportText(const QString& s);
// Lines as the import reads them: a line ends at CR or CR LF; a lone LF stays inside the line.
std::vector<std::string> SplitImportLines(const std::string& data);
