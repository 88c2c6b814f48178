// What the expression engine takes from the data-file layer: records, fields, memo texts, conversions.
#pragma once

#include "d4all.h"
#include "e4expr.h"

#include <cstring>
#include <ctime>

inline char *e4hostRecord(DATA4 *d) { return d->record; }
inline E4CODE &e4hostState(CODE4 *c4) { return c4->expr; }
inline CODE4* e4hostCode(DATA4* d) {
    return d->c4;
}
// The memo text of a field of the current record (read on demand), or null.
inline const char *e4hostMemo(FIELD4 *f, unsigned *len) {
    *len = f4memoLen(f);
    return f4memoPtr(f);
}
inline void date4toPicture(char *out, const char *date8, const char *picture, int len) {
    char tmp[24];
    date4toPicture(tmp, date8, picture);
    std::memcpy(out, tmp, static_cast<size_t>(len));
}
// The clock comes from the context's system layer, so tests can fix it.
inline void e4hostTime(CODE4 *c4, char *out8) {
    char tmp[9];
    time4nowText(tmp, code4sys(c4)->now());
    std::memcpy(out8, tmp, 8);
}
inline void e4hostToday(CODE4 *c4, char *out8) {
    char tmp[9];
    date4todayText(tmp, code4sys(c4)->now());
    std::memcpy(out8, tmp, 8);
}
// An open data file of the context by alias (upper case), or null.
inline DATA4 *e4hostDataByAlias(CODE4 *c4, const char *alias) {
    for (auto *d = static_cast<DATA4 *>(l4first(&c4->dataList)); d;
         d = static_cast<DATA4 *>(l4next(&c4->dataList, d)))
        if (std::strcmp(d->alias, alias) == 0)
            return d;
    return nullptr;
}
