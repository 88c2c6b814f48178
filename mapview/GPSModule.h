#pragma once
// The check of coordinate texts typed or stored as "latitude/longitude".
#include <QString>

#include <cstdint>

namespace mapview {

// Asks until text is a latitude/longitude pair and writes it to result with its decimal mark turned: mode 1
// to the user's separator (before the text is read as numbers), any other mode to "." (for storing). An
// empty answer (or Cancel) sets text to "0.0/0.0" and leaves result empty, so a coordinate the user gave up
// on places nothing. Always returns 0.
int16_t ValidateLatLongText(QString& text, QString& result, int16_t mode);

} // namespace mapview
