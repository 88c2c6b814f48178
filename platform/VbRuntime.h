#pragma once
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

// Number reading and writing as the stored files and the users' habits expect it: the leading numeric value
// of a text (blanks between digits are skipped; no digits gives 0), rounding half to even into 16- and
// 32-bit integers with range checks, and zero-padded serial numbers.
namespace plat::vb {

double Val(std::string_view text);
double Val(const QString& text);

// Round half to even; false when the value does not fit.
bool toInt32(double value, int32_t* out);
bool toInt16(double value, int16_t* out);

// Two's-complement 16-bit wrap of an int.
constexpr int16_t wrap16(int v) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<unsigned>(v)));
}

// Eight digits with leading zeros ("00000000"); a negative value gets its sign first.
std::string formatSerial(int32_t serial);
QString formatSerialQ(int32_t serial);

// Decimal digits of a value with a zero-padded width (Format(n, "0000")).
QString zeroPad(long long value, int width);

} // namespace plat::vb
