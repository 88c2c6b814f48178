#pragma once
// Coordinate texts: latitude "/" longitude, one decimal mark in each half. Stored with "."; typed with "," or
// "."; turned into the user's decimal separator before they are read as numbers. The list windows take them
// for loggers placed on the map, the map reads and writes them.
#include <QString>

#include <cstdint>

// True when the text is a pair: exactly one "/", not both "," and ".", and each half holding exactly one of
// the mark in use ("," when the text has any comma, else ".").
bool IsLatLongText(const QString& text);
// Converts a pair that passed IsLatLongText: mode 1 turns its own mark into the separator, any other mode
// turns the separator into "." (the first occurrence in each half).
QString ConvertLatLongText(const QString& text, int mode, const QString& decimalSeparator);
// The example the coordinate prompt shows, written with the user's separator.
QString LatLongExample(const QString& decimalSeparator);
// A number as "#0.000000" with the given separator (no grouping; "-" for negatives).
QString FormatCoordinate(double value, const QString& decimalSeparator);
// Reads both halves of a pair written with the given separator. False when either is not a number.
bool ParseLatLong(const QString& text, const QString& decimalSeparator, double* latitude, double* longitude);

// What ValidateLatLongText gives back when the user gives up (an empty answer, or Cancel): the text always
// becomes "0.0/0.0"; the result is that pair for a record that must get a coordinate whatever happens, and stays
// empty where a coordinate the user gave up on should place nothing.
enum class LatLongGivenUp { ZeroPair, NoResult };

// Asks until text is a latitude/longitude pair and writes it to result with its decimal mark turned: mode 1
// to the user's separator (before the text is read as numbers), any other mode to "." (for storing). The
// question shows the program's title, the text as it stands and an example in the user's separator. Always
// returns 0.
int16_t ValidateLatLongText(QString& text, QString& result, int16_t mode, LatLongGivenUp givenUp);
