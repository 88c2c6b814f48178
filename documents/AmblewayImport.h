#pragma once
// The import of an Ambleway unit's logger list: the communications server receives the file, the main window
// closes the server and takes every line of the file into the active logger list window.
#include <QString>

#include <cstdint>

#include <string>
#include <vector>

// The whole command: starts the server, waits for the user, closes the server, imports the first "*.txt" of
// the folder named by AmblewayPath and keeps the file as ".bak".
void ImportAmblewayFile();

class frmDMA;

// One line of an Ambleway file into the window, through its public calls: a new serial is added as the last row,
// a serial the list holds already has its record replaced. False for a line that brings nothing in (empty, of
// neither layout, a serial too large for the field; an invalid serial, or a new one the window has no room for,
// also shows a message).
bool ImportAmblewayLine(frmDMA& window, const QString& line, int32_t lineNumber);

// dd/mm/yyyy becomes yyyy/mm/dd; anything that is then no valid date gives the empty date mask "    /  /  ".
QString ConvertImportDate(const QString& s);
// Digits, ASCII letters and , - . / stay; every other character becomes a blank.
QString CleanImportText(const QString& s);
// Lines as the import reads them: a line ends at CR or CR LF; a lone LF stays inside the line.
std::vector<std::string> SplitImportLines(const std::string& data);
