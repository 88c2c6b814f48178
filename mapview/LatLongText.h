#pragma once
// Coordinate texts: latitude "/" longitude, one decimal mark in each half. Stored with "."; typed with "," or
// "."; turned into the user's decimal separator before they are read as numbers.
#include <QString>

namespace mapview {

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

} // namespace mapview
