#include "c4conv.h"

#include "code4.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>

namespace {

const int daysBeforeMonth[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
const char* const monthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                    "July",    "August",   "September", "October", "November", "December"};

long daysBeforeYear(long y) {
    const long p = y - 1;
    return 365 * p + p / 4 - p / 100 + p / 400;
}

int monthLen(long year, int month) {
    int n = daysBeforeMonth[month] - daysBeforeMonth[month - 1];
    if (month == 2 && date4isLeap(year))
        n++;
    return n;
}

void putDigits(char* out, long v, int width) {
    for (int i = width - 1; i >= 0; i--) {
        out[i] = char('0' + v % 10);
        v /= 10;
    }
}

struct tm localDay(time_t now) {
    struct tm t {};
    localtime_r(&now, &t);
    return t;
}

} // namespace

int date4isLeap(long y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

long date4toJulian(const char* d) {
    bool allBlank = true;
    for (int i = 0; i < 8; i++) {
        if (d[i] != ' ' && (d[i] < '0' || d[i] > '9'))
            return -1;
        if (d[i] != ' ')
            allBlank = false;
    }
    const long year = c4textToLong(d, 4);
    if (year == 0 && allBlank)
        return 0;
    const int month = c4textToInt(d + 4, 2);
    const int day = c4textToInt(d + 6, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > monthLen(year, month))
        return -1;
    long n = daysBeforeYear(year) + daysBeforeMonth[month - 1] + day + 1721425;
    if (month > 2 && date4isLeap(year))
        n++;
    return n;
}

void date4assign(char* out, long julian) {
    if (julian <= 0) {
        std::memset(out, ' ', 8);
        return;
    }
    const long m = julian - 1721425;
    const long y0 = long(double(m) / 365.2425);
    long y = y0 + 1;
    long r = m - daysBeforeYear(y);
    if (r <= 0) {
        y = y0;
        r = m - daysBeforeYear(y);
    }
    const long yearLen = date4isLeap(y) ? 366 : 365;
    if (r > yearLen) {
        r -= yearLen;
        y++;
    }
    const int leap = date4isLeap(y);
    int month = 1;
    while (month < 12) {
        long cumulative = daysBeforeMonth[month] + (leap && month >= 2 ? 1 : 0);
        if (r <= cumulative)
            break;
        month++;
    }
    const long day = r - daysBeforeMonth[month - 1] - (leap && month > 2 ? 1 : 0);
    putDigits(out, y, 4);
    putDigits(out + 4, month, 2);
    putDigits(out + 6, day, 2);
}

void c4placeByPattern(char* out, const char* values, const char* picture, const char* pattern) {
    const size_t plen = std::strlen(picture);
    for (size_t i = 0; pattern[i];) {
        const char letter = pattern[i];
        const char* at = std::strchr(picture, letter);
        if (!at) {
            while (pattern[i] == letter)
                i++;
            continue;
        }
        size_t pos = size_t(at - picture);
        while (pattern[i] == letter) {
            if (pos < plen && picture[pos] == letter)
                out[pos++] = values[i];
            i++;
        }
    }
}

void date4toPicture(char* out, const char* date8, const char* pictureIn) {
    std::string picture(pictureIn);
    for (char& c : picture)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    const size_t len = picture.size();
    for (size_t i = 0; i < len; i++)
        out[i] = (picture[i] == 'C' || picture[i] == 'Y' || picture[i] == 'M' || picture[i] == 'D') ? ' ' : picture[i];
    out[len] = 0;
    const size_t mAt = picture.find("MMM");
    if (mAt == std::string::npos) {
        c4placeByPattern(out, date8, picture.c_str(), "CCYYMMDD");
        return;
    }
    // A run of three or more M shows the month's name; the digits go elsewhere.
    size_t run = 0;
    while (mAt + run < len && picture[mAt + run] == 'M')
        run++;
    std::string rest = picture;
    for (size_t i = 0; i < run; i++)
        rest[mAt + i] = ' ';
    c4placeByPattern(out, date8, rest.c_str(), "CCYYMMDD");
    if (date8[4] == ' ' && date8[5] == ' ')
        return;
    int month = c4textToInt(date8 + 4, 2);
    if (month < 1)
        month = 1;
    if (month > 12)
        month = 12;
    const char* name = monthNames[month - 1];
    const size_t n = std::min({run, size_t(9), std::strlen(name)});
    std::memcpy(out + mAt, name, n);
}

void date4fromPicture(char* date8, const char* text, const char* pictureIn) {
    std::string picture(pictureIn);
    for (char& c : picture)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    char d[9] = "        ";
    int used[4] = {0, 0, 0, 0}; // C, Y, M, D
    const size_t textLen = std::strlen(text);
    const size_t mAt = picture.find("MMM");
    for (size_t i = 0; i < picture.size() && i < textLen; i++) {
        const char p = picture[i];
        const int which = p == 'C' ? 0 : p == 'Y' ? 1 : p == 'M' ? 2 : p == 'D' ? 3 : -1;
        if (which < 0 || (which == 2 && mAt != std::string::npos))
            continue;
        if (used[which] < 2)
            d[which * 2 + used[which]++] = text[i];
    }
    if (mAt != std::string::npos && mAt < textLen) {
        std::string word(text + mAt, std::min<size_t>(3, textLen - mAt));
        while (!word.empty() && word.back() == ' ')
            word.pop_back();
        for (size_t i = 0; i < word.size(); i++)
            word[i] = char(i == 0 ? std::toupper((unsigned char)word[i]) : std::tolower((unsigned char)word[i]));
        if (!word.empty())
            for (int m = 0; m < 12; m++)
                if (std::strncmp(monthNames[m], word.c_str(), word.size()) == 0) {
                    putDigits(d + 4, m + 1, 2);
                    break;
                }
    }
    if (std::strcmp(d, "        ") == 0) {
        std::memcpy(date8, d, 8);
        return;
    }
    const char* fill[4] = {"19", "01", "01", "01"};
    for (int k = 0; k < 4; k++)
        if (d[2 * k] == ' ' && d[2 * k + 1] == ' ')
            std::memcpy(d + 2 * k, fill[k], 2);
    for (char& c : d)
        if (c == ' ')
            c = '0';
    std::memcpy(date8, d, 8);
}

void date4todayText(char* date8, time_t now) {
    const struct tm t = localDay(now);
    putDigits(date8, t.tm_year + 1900, 4);
    putDigits(date8 + 4, t.tm_mon + 1, 2);
    putDigits(date8 + 6, t.tm_mday, 2);
}

void time4nowText(char* out, time_t now) {
    const struct tm t = localDay(now);
    putDigits(out, t.tm_hour, 2);
    out[2] = ':';
    putDigits(out + 3, t.tm_min, 2);
    out[5] = ':';
    putDigits(out + 6, t.tm_sec, 2);
    out[8] = 0;
}

void date4headerDate(unsigned char out[3], time_t now) {
    const struct tm t = localDay(now);
    out[0] = (unsigned char)t.tm_year;
    out[1] = (unsigned char)(t.tm_mon + 1);
    out[2] = (unsigned char)t.tm_mday;
}

// ---- numbers ----

double c4textToDouble(const char* text, int len) {
    if (len > 49)
        len = 49;
    if (len <= 0)
        return 0.0;
    // Read the way the C library reads a number (leading blanks, a sign, digits, point, exponent), but always with
    // "." as the decimal point, whatever locale the program runs in.
    const char* p = text;
    const char* end = text + len;
    while (p < end && (*p == ' ' || *p == '\t'))
        p++;
    bool neg = false;
    if (p < end && (*p == '+' || *p == '-'))
        neg = *p++ == '-';
    if (p < end && (*p == '+' || *p == '-'))
        return 0.0;
    double v = 0.0;
    const auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec != std::errc())
        return 0.0;
    return neg ? -v : v;
}

long c4textToLong(const char* text, int len) {
    if (len > 127)
        len = 127;
    const char* p = text;
    const char* end = text + (len > 0 ? len : 0);
    while (p < end && (*p == ' ' || *p == '\t'))
        p++;
    bool neg = false;
    if (p < end && (*p == '+' || *p == '-'))
        neg = *p++ == '-';
    long v = 0;
    for (; p < end && *p >= '0' && *p <= '9'; p++) {
        if (v > (2147483647L - (*p - '0')) / 10)
            return neg ? -2147483647L - 1 : 2147483647L; // saturates like the C library's reader
        v = v * 10 + (*p - '0');
    }
    return neg ? -v : v;
}

int c4textToInt(const char* text, int len) {
    return int(c4textToLong(text, len));
}

void c4longToText(long value, char* out, int width) {
    const int w = width < 0 ? -width : width;
    if (w == 0)
        return;
    const bool neg = value < 0;
    unsigned long mag = neg ? 0UL - (unsigned long)value : (unsigned long)value;
    int pos = w - 1;
    do {
        if (pos < 0) {
            std::memset(out, '*', size_t(w));
            return;
        }
        out[pos--] = char('0' + mag % 10);
        mag /= 10;
    } while (mag);
    if (width < 0) {
        if (neg) {
            std::memset(out, '*', size_t(w));
            return;
        }
        while (pos >= 0)
            out[pos--] = '0';
        return;
    }
    if (neg) {
        if (pos < 0) {
            std::memset(out, '*', size_t(w));
            return;
        }
        out[pos--] = '-';
    }
    while (pos >= 0)
        out[pos--] = ' ';
}

namespace {

// Fixed-point text of |x| with d decimals: integer digits (no leading zeros) and decimal digits.
bool fixedDigits(double x, int d, std::string& intPart, std::string& decPart) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, x < 0 ? -x : x, std::chars_format::fixed, d);
    if (r.ec != std::errc())
        return false;
    std::string s(buf, r.ptr);
    const size_t dot = s.find('.');
    intPart = dot == std::string::npos ? s : s.substr(0, dot);
    decPart = dot == std::string::npos ? "" : s.substr(dot + 1);
    size_t nz = 0;
    while (nz + 1 < intPart.size() && intPart[nz] == '0')
        nz++;
    intPart.erase(0, nz);
    return true;
}

int clampDecimals(int w, int d) {
    if (d > 15)
        d = 15;
    if (d > w - 1)
        d = w - 1;
    return d < 0 ? 0 : d;
}

// x right-aligned in w characters with d decimals (at most 15, and fewer than w), the integer part padded
// on the left with `pad`; with minusSign a negative value (one that does not round to zero) gets a '-'
// before its digits. e4overflow, with the field filled with '*', when the value does not fit.
int fixedField(double x, char* out, int w, int d, char pad, bool minusSign) {
    if (w <= 0)
        return 0;
    d = clampDecimals(w, d);
    std::string ip, dp;
    if (!fixedDigits(x, d, ip, dp)) {
        std::memset(out, '*', size_t(w));
        return e4overflow;
    }
    const bool neg = minusSign && x < 0 && (ip != "0" || dp.find_first_not_of('0') != std::string::npos);
    const int intRoom = d > 0 ? w - d - 1 : w;
    const int need = int(ip.size()) + (neg ? 1 : 0);
    if (need > intRoom) {
        std::memset(out, '*', size_t(w));
        return e4overflow;
    }
    std::memset(out, pad, size_t(w));
    std::memcpy(out + intRoom - ip.size(), ip.data(), ip.size());
    if (neg)
        out[intRoom - ip.size() - 1] = '-';
    if (d > 0) {
        out[intRoom] = '.';
        std::memcpy(out + intRoom + 1, dp.data(), size_t(d));
    }
    return 0;
}

} // namespace

int c4doubleToText(double x, char* out, int w, int d) {
    return fixedField(x, out, w, d, ' ', true);
}

int c4doubleToKey(double x, char* out, int w, int d) {
    const int rc = fixedField(x, out, w, d, '0', false);
    if (rc != 0)
        return rc;
    // Negative keys are stored complemented, so that they sort below the positive ones and in order.
    if (x < 0)
        for (int i = 0; i < w; i++)
            out[i] = char(92 - out[i]);
    return 0;
}

void c4numTextToKey(char* text, int w) {
    bool neg = false;
    for (int i = 0; i < w; i++) {
        if (text[i] == ' ')
            text[i] = '0';
        else if (text[i] == '-') {
            text[i] = '0';
            neg = true;
        } else
            break;
    }
    if (neg)
        for (int i = 0; i < w; i++)
            text[i] = char(92 - text[i]);
}

void c4negateBytes(char* bytes, int len) {
    for (int i = 0; i < len; i++)
        bytes[i] = char(-(unsigned char)bytes[i]);
}

void c4trimBlanks(char* text, int size) {
    if (size <= 0)
        return;
    text[size - 1] = 0;
    for (int n = int(std::strlen(text)); n > 0 && text[n - 1] == ' '; n--)
        text[n - 1] = 0;
}

void c4toUpper(char* text) {
    for (; *text; text++)
        if (*text >= 'a' && *text <= 'z')
            *text = char(*text - 'a' + 'A');
}

void c4toLower(char* text) {
    for (; *text; text++)
        if (*text >= 'A' && *text <= 'Z')
            *text = char(*text - 'A' + 'a');
}

int c4nameChar(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}
