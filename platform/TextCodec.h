#pragma once
#include "platform/AtomicFile.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

// Text the programs exchange with files and the field equipment is 8-bit Windows-1252 with CR LF line ends.
// In memory, file-bound text is kept as those bytes (std::string); the windows convert at their edge.
namespace plat {

QString fromAnsi(std::string_view bytes);
// Characters Windows-1252 cannot hold become '?'.
std::string toAnsi(const QString& text);

// Splits a whole file's bytes into lines ended by CR LF, a lone CR or a lone LF. A final line without an
// ending is still a line; an ending at the very end does not start another.
std::vector<std::string_view> splitLines(std::string_view data);

// Reads a whole file; false when it cannot be opened or read.
bool readFileBytes(const QString& path, std::string& out);

} // namespace plat
