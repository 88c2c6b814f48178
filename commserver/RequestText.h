#pragma once
// Helpers the worker's state handlers share: event texts with up to two names in them, the name field of a
// request, and the little-endian numbers of a reply's payload.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace comms {

// fmt with its first "%s" replaced by a and its second by b.
inline std::string format(const char* fmt, const std::string& a, const std::string& b = {}) {
    std::string out;
    int which = 0;
    for (const char* p = fmt; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += which++ == 0 ? a : b;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

// The name field of a request: the bytes up to the first NUL (or to the end of the payload). A NUL followed
// by anything but NULs hides a second name behind the first: refused.
inline bool parseName(std::span<const std::uint8_t> field, std::string& out) {
    const auto nul = std::find(field.begin(), field.end(), 0);
    out.assign(field.begin(), nul);
    return std::all_of(nul, field.end(), [](std::uint8_t b) { return b == 0; });
}

inline void putU16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
inline void putU32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}

} // namespace comms
