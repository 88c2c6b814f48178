#include "platform/VbRuntime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace plat::vb {

double Val(std::string_view s) {
    // Collect the characters of a number, skipping blanks, tabs and line feeds wherever they stand.
    char buf[64];
    size_t n = 0;
    size_t i = 0;
    auto skip = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
            ++i;
    };
    skip();
    if (i + 1 < s.size() && s[i] == '&' && (s[i + 1] == 'H' || s[i + 1] == 'h' || s[i + 1] == 'O' || s[i + 1] == 'o')) {
        const int base = (s[i + 1] == 'H' || s[i + 1] == 'h') ? 16 : 8;
        i += 2;
        long long v = 0;
        bool any = false;
        for (; i < s.size(); ++i) {
            const char c = s[i];
            if (c == ' ' || c == '\t')
                continue;
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (base == 16 && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (base == 16 && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            if (d < 0 || d >= base)
                break;
            v = v * base + d;
            any = true;
            if (v > 0xFFFFFFFFLL)
                break;
        }
        if (!any)
            return 0;
        // Hex literals of up to 16 bits are signed 16-bit values, longer ones signed 32-bit.
        if (v <= 0xFFFF)
            return static_cast<int16_t>(static_cast<uint16_t>(v));
        return static_cast<int32_t>(static_cast<uint32_t>(v));
    }
    auto put = [&](char c) {
        if (n + 1 < sizeof buf)
            buf[n++] = c;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        put(s[i]);
        ++i;
    }
    bool digits = false;
    bool point = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c >= '0' && c <= '9') {
            put(c);
            digits = true;
        } else if (c == '.' && !point) {
            put(c);
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0;
    // Exponent: E or D, optional sign, digits.
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        size_t j = i + 1;
        char exp[16];
        size_t en = 0;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            exp[en++] = s[j++];
        bool expDigits = false;
        while (j < s.size() && en + 1 < sizeof exp) {
            if (s[j] == ' ' || s[j] == '\t') {
                ++j;
                continue;
            }
            if (s[j] < '0' || s[j] > '9')
                break;
            exp[en++] = s[j++];
            expDigits = true;
        }
        if (expDigits) {
            put('e');
            for (size_t k = 0; k < en; ++k)
                put(exp[k]);
        }
    }
    buf[n] = '\0';
    return std::strtod(buf, nullptr);
}

double Val(const QString& text) {
    return Val(std::string_view(text.toLatin1().constData()));
}

namespace {
double roundHalfEven(double v) {
    const double r = std::nearbyint(v); // default rounding mode is to nearest, ties to even
    return r;
}
} // namespace

bool toInt32(double value, int32_t* out) {
    if (!std::isfinite(value))
        return false;
    const double r = roundHalfEven(value);
    if (r < -2147483648.0 || r > 2147483647.0)
        return false;
    *out = static_cast<int32_t>(r);
    return true;
}

bool toInt16(double value, int16_t* out) {
    if (!std::isfinite(value))
        return false;
    const double r = roundHalfEven(value);
    if (r < -32768.0 || r > 32767.0)
        return false;
    *out = static_cast<int16_t>(r);
    return true;
}

std::string formatSerial(int32_t serial) {
    char buf[16];
    if (serial < 0)
        std::snprintf(buf, sizeof buf, "-%08lld", -static_cast<long long>(serial));
    else
        std::snprintf(buf, sizeof buf, "%08d", serial);
    return buf;
}

QString formatSerialQ(int32_t serial) {
    return QString::fromLatin1(formatSerial(serial));
}

QString zeroPad(long long value, int width) {
    if (value < 0)
        return u'-' + QString::number(-value).rightJustified(width, u'0');
    return QString::number(value).rightJustified(width, u'0');
}

} // namespace plat::vb
