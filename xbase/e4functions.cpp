// The operator and function table of dBASE expressions and the step routines it names.
//
// Every routine pops its parameters from the value stack and pushes one pointer to its result, which it writes
// at its own step's position in the evaluation buffer. Doubles and 32-bit logicals are moved with memcpy: a
// position in the buffer has no alignment.
#include "e4functions.h"

#include "e4host.h"

#include <cmath>
#include <cstring>

namespace {

inline double getD(const char *p) {
    double d;
    std::memcpy(&d, p, sizeof d);
    return d;
}
inline int getL(const char *p) {
    int v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline char *out(E4EVAL &ev, const E4INFO &s) { return ev.buf + s.resultPos; }
inline void pushD(E4EVAL &ev, const E4INFO &s, double d) {
    std::memcpy(out(ev, s), &d, sizeof d);
    ev.stack[ev.sp++] = out(ev, s);
}
inline void pushL(E4EVAL &ev, const E4INFO &s, int v) {
    std::memcpy(out(ev, s), &v, sizeof v);
    ev.stack[ev.sp++] = out(ev, s);
}
inline const char *pop(E4EVAL &ev) { return ev.stack[--ev.sp]; }
// Moves `len` bytes of `src` to the step's position (a no-op when already there) and returns it.
inline char *toOut(E4EVAL &ev, const E4INFO &s, const char *src, int len) {
    char *o = out(ev, s);
    if (src != o && len > 0)
        std::memmove(o, src, static_cast<size_t>(len));
    return o;
}
const char *fieldAt(E4EVAL &ev, const E4INFO &s) {
    if (s.localData)
        return ev.record + s.fieldOffset;
    return e4hostRecord(s.fieldData) + s.fieldOffset;
}
// A blank date is day 0; date arithmetic with one gives a blank date rather than a day near year -4700.
double dayOf8(const char *ccyymmdd) {
    long j = date4toJulian(ccyymmdd);
    return j < 0 ? 0.0 : static_cast<double>(j);
}
void dateText(double day, char *out8) {
    long n = day >= 1 && day < 1e9 ? static_cast<long>(day) : 0;
    date4assign(out8, n);
}
int datePart(const char *ccyymmdd, int from, int count) {
    int v = 0;
    for (int i = from; i < from + count; ++i) {
        if (ccyymmdd[i] < '0' || ccyymmdd[i] > '9')
            return 0;
        v = v * 10 + (ccyymmdd[i] - '0');
    }
    return v;
}

// --- value pushers ---
void e4fieldStr(E4EVAL &ev, const E4INFO &s) { ev.stack[ev.sp++] = fieldAt(ev, s); }
void e4fieldCopy(E4EVAL &ev, const E4INFO &s) {
    std::memcpy(out(ev, s), fieldAt(ev, s), static_cast<size_t>(s.len));
    ev.stack[ev.sp++] = out(ev, s);
}
void e4fieldLog(E4EVAL &ev, const E4INFO &s) {
    char c = *fieldAt(ev, s);
    pushL(ev, s, c == 'T' || c == 't' || c == 'Y' || c == 'y');
}
void e4fieldDateD(E4EVAL &ev, const E4INFO &s) { pushD(ev, s, dayOf8(fieldAt(ev, s))); }
void e4fieldNumD(E4EVAL &ev, const E4INFO &s) {
    pushD(ev, s, c4textToDouble(fieldAt(ev, s), f4len(s.field)));
}
void e4fieldMemo(E4EVAL &ev, const E4INFO &s) {
    char *o = out(ev, s);
    std::memset(o, 0, static_cast<size_t>(s.len));
    unsigned n = 0;
    const char *text = e4hostMemo(s.field, &n);
    if (text)
        std::memcpy(o, text, n < static_cast<unsigned>(s.len) ? n : static_cast<size_t>(s.len));
    ev.stack[ev.sp++] = o;
}
void e4constNum(E4EVAL &ev, const E4INFO &s) { ev.stack[ev.sp++] = ev.expr->constants.data() + s.i1; }
void e4constStr(E4EVAL &ev, const E4INFO &s) {
    std::memcpy(out(ev, s), ev.expr->constants.data() + s.i1, static_cast<size_t>(s.len));
    ev.stack[ev.sp++] = out(ev, s);
}
void e4true(E4EVAL &ev, const E4INFO &s) { pushL(ev, s, 1); }
void e4false(E4EVAL &ev, const E4INFO &s) { pushL(ev, s, 0); }

// --- logical operators ---
void e4not(E4EVAL &ev, const E4INFO &s) { pushL(ev, s, getL(pop(ev)) == 0); }
void e4or(E4EVAL &ev, const E4INFO &s) {
    int r = 0;
    for (int i = 0; i < s.numParms; ++i)
        r |= getL(pop(ev)) != 0;
    pushL(ev, s, r);
}
void e4and(E4EVAL &ev, const E4INFO &s) {
    int r = 1;
    for (int i = 0; i < s.numParms; ++i)
        r &= getL(pop(ev)) != 0;
    pushL(ev, s, r);
}

// --- string + and - ---
void e4concatenate(E4EVAL &ev, const E4INFO &s) {
    const char *right = pop(ev);
    const char *left = pop(ev);
    char *o = toOut(ev, s, left, s.i1);
    if (right != o + s.i1)
        std::memmove(o + s.i1, right, static_cast<size_t>(s.len - s.i1));
    ev.stack[ev.sp++] = o;
}
// Closes up the NUL bytes a trim or memo left at the end of the left part.
void e4concatTrim(E4EVAL &ev, const E4INFO &s) {
    const char *right = pop(ev);
    const char *left = pop(ev);
    char *o = toOut(ev, s, left, s.i1);
    int k = s.i1;
    while (k > 0 && o[k - 1] == 0)
        --k;
    int rlen = s.len - s.i1;
    std::memmove(o + k, right, static_cast<size_t>(rlen));
    std::memset(o + k + rlen, 0, static_cast<size_t>(s.len - k - rlen));
    ev.stack[ev.sp++] = o;
}
// The left part's trailing blanks move to the end of the result.
void e4concatTwo(E4EVAL &ev, const E4INFO &s) {
    const char *right = pop(ev);
    const char *left = pop(ev);
    char *o = toOut(ev, s, left, s.i1);
    int k = s.i1;
    while (k > 0 && o[k - 1] == ' ')
        --k;
    int rlen = s.len - s.i1;
    std::memmove(o + k, right, static_cast<size_t>(rlen));
    std::memset(o + k + rlen, ' ', static_cast<size_t>(s.len - k - rlen));
    ev.stack[ev.sp++] = o;
}

// --- arithmetic ---
void e4add(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushD(ev, s, a + b);
}
void e4addDate(E4EVAL &ev, const E4INFO &s) {  // n + d and d + n
    double b = getD(pop(ev)), a = getD(pop(ev));
    bool leftIsDate = v4functions[s.row].parmTypes[0] == 'd';
    double day = leftIsDate ? a : b;
    pushD(ev, s, day == 0 ? 0.0 : a + b);
}
void e4sub(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushD(ev, s, a - b);
}
void e4subDate(E4EVAL &ev, const E4INFO &s) {  // d - d gives days, d - n a date
    double b = getD(pop(ev)), a = getD(pop(ev));
    bool twoDates = v4functions[s.row].parmTypes[1] == 'd';
    if (a == 0 || (twoDates && b == 0))
        pushD(ev, s, 0.0);
    else
        pushD(ev, s, a - b);
}
void e4multiply(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushD(ev, s, a * b);
}
void e4divide(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushD(ev, s, b == 0 ? 0.0 : a / b);
}
void e4power(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushD(ev, s, std::pow(a, b));
}

// --- comparisons ---
int cmpStr(E4EVAL &ev, const E4INFO &s) {
    const char *b = pop(ev);
    const char *a = pop(ev);
    return std::memcmp(a, b, static_cast<size_t>(s.i1));
}
void e4equalStr(E4EVAL &ev, const E4INFO &s) { pushL(ev, s, cmpStr(ev, s) == 0); }
void e4notEqualStr(E4EVAL &ev, const E4INFO &s) { pushL(ev, s, cmpStr(ev, s) != 0); }
void e4greaterStr(E4EVAL &ev, const E4INFO &s) {
    int r = cmpStr(ev, s);
    pushL(ev, s, r > 0 || (r == 0 && s.tie));
}
void e4lessStr(E4EVAL &ev, const E4INFO &s) {
    int r = cmpStr(ev, s);
    pushL(ev, s, r < 0 || (r == 0 && s.tie));
}
// ">=" is "not <" and "<=" is "not >": the tie flags were set for "<" and ">" respectively.
void e4greaterEqStr(E4EVAL &ev, const E4INFO &s) {
    int r = cmpStr(ev, s);
    pushL(ev, s, !(r < 0 || (r == 0 && s.tie)));
}
void e4lessEqStr(E4EVAL &ev, const E4INFO &s) {
    int r = cmpStr(ev, s);
    pushL(ev, s, !(r > 0 || (r == 0 && s.tie)));
}
void e4equalDbl(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushL(ev, s, a == b);
}
void e4notEqualDbl(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushL(ev, s, a != b);
}
void e4greaterDbl(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushL(ev, s, a > b);
}
void e4lessDbl(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushL(ev, s, a < b);
}
void e4greaterEqDbl(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushL(ev, s, a >= b);
}
void e4lessEqDbl(E4EVAL &ev, const E4INFO &s) {
    double b = getD(pop(ev)), a = getD(pop(ev));
    pushL(ev, s, a <= b);
}
void e4equalLog(E4EVAL &ev, const E4INFO &s) {
    int b = getL(pop(ev)) != 0, a = getL(pop(ev)) != 0;
    pushL(ev, s, a == b);
}
void e4notEqualLog(E4EVAL &ev, const E4INFO &s) {
    int b = getL(pop(ev)) != 0, a = getL(pop(ev)) != 0;
    pushL(ev, s, a != b);
}
// Lengths of the two operands of "$" are kept in i1 (left) and i2 (right) by the type pass.
void e4contain(E4EVAL &ev, const E4INFO &s) {
    const char *b = pop(ev);
    const char *a = pop(ev);
    int la = s.i1, lb = s.i2, r = 0;
    for (int i = 0; i + la <= lb; ++i)
        if (std::memcmp(b + i, a, static_cast<size_t>(la)) == 0) {
            r = 1;
            break;
        }
    pushL(ev, s, r);
}

// --- functions ---
void e4chr(E4EVAL &ev, const E4INFO &s) {
    double d = getD(pop(ev));
    out(ev, s)[0] = static_cast<char>(static_cast<long long>(d) & 0xFF);
    ev.stack[ev.sp++] = out(ev, s);
}
void e4del(E4EVAL &ev, const E4INFO &s) {
    out(ev, s)[0] = ev.record[0] == '*' ? '*' : ' ';
    ev.stack[ev.sp++] = out(ev, s);
}
void e4str(E4EVAL &ev, const E4INFO &s) {
    double d = getD(pop(ev));
    c4doubleToText(d, out(ev, s), s.len, s.i1);
    ev.stack[ev.sp++] = out(ev, s);
}
void e4substr(E4EVAL &ev, const E4INFO &s) {
    const char *a = pop(ev);
    char *o = out(ev, s);
    if (s.len > 0)
        std::memmove(o, a + s.i1, static_cast<size_t>(s.len));
    ev.stack[ev.sp++] = o;
}
void e4time(E4EVAL &ev, const E4INFO &s) {
    e4hostTime(ev.expr->c4, out(ev, s));
    ev.stack[ev.sp++] = out(ev, s);
}
void e4upper(E4EVAL &ev, const E4INFO &s) {
    char *o = toOut(ev, s, pop(ev), s.len);
    for (int i = 0; i < s.len; ++i)
        if (o[i] >= 'a' && o[i] <= 'z')
            o[i] = static_cast<char>(o[i] - 'a' + 'A');
    ev.stack[ev.sp++] = o;
}
void e4dtosText(E4EVAL &ev, const E4INFO &s) {
    toOut(ev, s, pop(ev), 8);
    ev.stack[ev.sp++] = out(ev, s);
}
void e4dtosDbl(E4EVAL &ev, const E4INFO &s) {
    double d = getD(pop(ev));
    dateText(d, out(ev, s));
    ev.stack[ev.sp++] = out(ev, s);
}
void e4dtocText(E4EVAL &ev, const E4INFO &s) {
    char date[9];
    std::memcpy(date, pop(ev), 8);
    date[8] = 0;
    date4toPicture(out(ev, s), date, ev.expr->constants.data() + s.i1, s.len);
    ev.stack[ev.sp++] = out(ev, s);
}
void e4dtocDbl(E4EVAL &ev, const E4INFO &s) {
    char date[9];
    dateText(getD(pop(ev)), date);
    date[8] = 0;
    date4toPicture(out(ev, s), date, ev.expr->constants.data() + s.i1, s.len);
    ev.stack[ev.sp++] = out(ev, s);
}
void trimTail(char *o, int len) {
    for (int i = len - 1; i >= 0 && (o[i] == ' ' || o[i] == 0); --i)
        o[i] = 0;
}
void trimHead(char *o, int len) {
    int k = 0;
    while (k < len && (o[k] == ' ' || o[k] == 0))
        ++k;
    if (k > 0) {
        std::memmove(o, o + k, static_cast<size_t>(len - k));
        std::memset(o + len - k, 0, static_cast<size_t>(k));
    }
}
void e4trim(E4EVAL &ev, const E4INFO &s) {
    char *o = toOut(ev, s, pop(ev), s.len);
    trimTail(o, s.len);
    ev.stack[ev.sp++] = o;
}
void e4ltrim(E4EVAL &ev, const E4INFO &s) {
    char *o = toOut(ev, s, pop(ev), s.len);
    trimHead(o, s.len);
    ev.stack[ev.sp++] = o;
}
void e4alltrim(E4EVAL &ev, const E4INFO &s) {
    char *o = toOut(ev, s, pop(ev), s.len);
    trimHead(o, s.len);
    trimTail(o, s.len);
    ev.stack[ev.sp++] = o;
}
void e4iif(E4EVAL &ev, const E4INFO &s) {
    const char *no = pop(ev);
    const char *yes = pop(ev);
    int cond = getL(pop(ev));
    toOut(ev, s, cond ? yes : no, s.len);
    ev.stack[ev.sp++] = out(ev, s);
}
// The argument of STOD/CTOD may be shorter than a date; its length was kept in i2 by the type pass.
void e4stod(E4EVAL &ev, const E4INFO &s) {
    char date[9];
    std::memset(date, ' ', 8);
    date[8] = 0;
    std::memcpy(date, pop(ev), static_cast<size_t>(s.i2 < 8 ? s.i2 : 8));
    pushD(ev, s, dayOf8(date));
}
void e4ctod(E4EVAL &ev, const E4INFO &s) {
    std::string text(pop(ev), static_cast<size_t>(s.i2));
    char date[9];
    date4fromPicture(date, text.c_str(), ev.expr->constants.data() + s.i1);
    date[8] = 0;
    pushD(ev, s, dayOf8(date));
}
void e4date(E4EVAL &ev, const E4INFO &s) {
    char date[9];
    e4hostToday(ev.expr->c4, date);
    date[8] = 0;
    pushD(ev, s, dayOf8(date));
}
template <int From, int Count> void e4datePartText(E4EVAL &ev, const E4INFO &s) {
    pushD(ev, s, datePart(pop(ev), From, Count));
}
template <int From, int Count> void e4datePartDbl(E4EVAL &ev, const E4INFO &s) {
    char date[9];
    dateText(getD(pop(ev)), date);
    pushD(ev, s, datePart(date, From, Count));
}
void e4deleted(E4EVAL &ev, const E4INFO &s) { pushL(ev, s, ev.record[0] == '*'); }
void e4reccount(E4EVAL &ev, const E4INFO &s) { pushD(ev, s, static_cast<double>(d4recCount(ev.expr->data))); }
void e4recno(E4EVAL &ev, const E4INFO &s) { pushD(ev, s, static_cast<double>(d4recNo(ev.expr->data))); }
void e4val(E4EVAL &ev, const E4INFO &s) { pushD(ev, s, c4textToDouble(pop(ev), s.i2)); }
void e4pageno(E4EVAL& ev, const E4INFO& s) {
    pushD(ev, s, e4hostState(ev.expr->c4).pageNo);
}

// ASCEND turns a value into the text it has as an index key; DESCEND then negates every byte.
void ascendInPlace(E4EVAL &ev, const E4INFO &s, char argType) {
    const char *a = pop(ev);
    char *o = out(ev, s);
    switch (argType) {
    case 'N':
        toOut(ev, s, a, s.len);
        c4numTextToKey(o, s.len);
        break;
    case 'd': {
        double d = getD(a);
        dateText(d, o);
        break;
    }
    case 'L': {
        int v = getL(a);
        std::memset(o, 0, static_cast<size_t>(s.len));
        o[0] = v ? '1' : '0';
        break;
    }
    default:
        toOut(ev, s, a, s.len);
        break;
    }
    ev.stack[ev.sp++] = o;
}
void e4ascend(E4EVAL &ev, const E4INFO &s) { ascendInPlace(ev, s, v4functions[s.row].parmTypes[0]); }
void e4descend(E4EVAL &ev, const E4INFO &s) {
    ascendInPlace(ev, s, v4functions[s.row].parmTypes[0]);
    c4negateBytes(out(ev, s), s.len);
}

} // namespace

// Row order matters: the parser refers to rows by the E4ROW_ constants of e4functions.h, operator look-up
// takes the first name that matches, and type variants follow the first row of their id.
const E4FUNCTIONS v4functions[] = {
    // value pushers (reached only from the parser)
    {e4fieldStr, nullptr, 0, 0, 'C', 0, {0, 0, 0}},
    {e4fieldCopy, nullptr, 1, 0, 'C', 0, {0, 0, 0}},
    {e4fieldLog, nullptr, 2, 0, 'L', 0, {0, 0, 0}},
    {e4fieldDateD, nullptr, 3, 0, 'd', 0, {0, 0, 0}},
    {e4fieldStr, nullptr, 4, 0, 'D', 0, {0, 0, 0}},
    {e4fieldNumD, nullptr, 5, 0, 'n', 0, {0, 0, 0}},
    {e4fieldStr, nullptr, 6, 0, 'N', 0, {0, 0, 0}},
    {nullptr, nullptr, 440, 0, 'Y', 0, {0, 0, 0}},
    {nullptr, nullptr, 441, 0, 'T', 0, {0, 0, 0}},
    {nullptr, nullptr, 442, 0, 'I', 0, {0, 0, 0}},
    {nullptr, nullptr, 443, 0, 'Y', 0, {0, 0, 0}},
    {nullptr, nullptr, 444, 0, 'T', 0, {0, 0, 0}},
    {nullptr, nullptr, 445, 0, 'I', 0, {0, 0, 0}},
    {e4fieldMemo, nullptr, 7, 0, 'C', 0, {0, 0, 0}},
    {e4constNum, nullptr, 8, 0, 'n', 0, {0, 0, 0}},
    {e4constStr, nullptr, 9, 0, 'C', 0, {0, 0, 0}},
    // logical constants and operators
    {e4true, ".TRUE.", 14, 0, 'L', 0, {0, 0, 0}},
    {e4true, ".T.", 14, 0, 'L', 0, {0, 0, 0}},
    {e4false, ".FALSE.", 16, 0, 'L', 0, {0, 0, 0}},
    {e4false, ".F.", 16, 0, 'L', 0, {0, 0, 0}},
    {e4not, ".NOT.", 18, 5, 'L', 1, {'L', 0, 0}},
    {e4or, ".OR.", 20, 3, 'L', -1, {'L', 0, 0}},
    {e4and, ".AND.", 22, 4, 'L', -1, {'L', 0, 0}},
    {e4concatenate, "+", 25, 7, 'C', 2, {'C', 'C', 0}},
    {e4concatTrim, nullptr, 25, 7, 'C', 2, {'C', 'C', 0}},
    {e4add, nullptr, 25, 7, 'n', 2, {'n', 'n', 0}},
    {e4addDate, nullptr, 25, 7, 'd', 2, {'n', 'd', 0}},
    {e4addDate, nullptr, 25, 7, 'd', 2, {'d', 'n', 0}},
    {e4concatTwo, "-", 30, 7, 'C', 2, {'C', 'C', 0}},
    {e4sub, nullptr, 30, 7, 'n', 2, {'n', 'n', 0}},
    {e4subDate, nullptr, 30, 7, 'n', 2, {'d', 'd', 0}},
    {e4subDate, nullptr, 30, 7, 'd', 2, {'d', 'n', 0}},
    {e4notEqualStr, "#", 50, 6, 'L', 2, {'C', 'C', 0}},
    {e4notEqualDbl, nullptr, 50, 6, 'L', 2, {'n', 'n', 0}},
    {e4notEqualDbl, nullptr, 50, 6, 'L', 2, {'d', 'd', 0}},
    {e4notEqualLog, nullptr, 50, 6, 'L', 2, {'L', 'L', 0}},
    {nullptr, nullptr, 50, 6, 'L', 2, {'Y', 'Y', 0}},
    {nullptr, nullptr, 50, 6, 'L', 2, {'T', 'T', 0}},
    {e4greaterEqStr, ">=", 60, 6, 'L', 2, {'C', 'C', 0}},
    {e4greaterEqDbl, nullptr, 60, 6, 'L', 2, {'n', 'n', 0}},
    {e4greaterEqDbl, nullptr, 60, 6, 'L', 2, {'d', 'd', 0}},
    {nullptr, nullptr, 60, 6, 'L', 2, {'Y', 'Y', 0}},
    {nullptr, nullptr, 60, 6, 'L', 2, {'T', 'T', 0}},
    {e4lessEqStr, "<=", 70, 6, 'L', 2, {'C', 'C', 0}},
    {e4lessEqDbl, nullptr, 70, 6, 'L', 2, {'n', 'n', 0}},
    {e4lessEqDbl, nullptr, 70, 6, 'L', 2, {'d', 'd', 0}},
    {nullptr, nullptr, 70, 6, 'L', 2, {'Y', 'Y', 0}},
    {nullptr, nullptr, 70, 6, 'L', 2, {'T', 'T', 0}},
    {e4equalStr, "=", 40, 6, 'L', 2, {'C', 'C', 0}},
    {e4equalLog, nullptr, 40, 6, 'L', 2, {'L', 'L', 0}},
    {e4equalDbl, nullptr, 40, 6, 'L', 2, {'n', 'n', 0}},
    {e4equalDbl, nullptr, 40, 6, 'L', 2, {'d', 'd', 0}},
    {nullptr, nullptr, 40, 6, 'L', 2, {'Y', 'Y', 0}},
    {nullptr, nullptr, 40, 6, 'L', 2, {'T', 'T', 0}},
    {e4greaterStr, ">", 80, 6, 'L', 2, {'C', 'C', 0}},
    {e4greaterDbl, nullptr, 80, 6, 'L', 2, {'n', 'n', 0}},
    {e4greaterDbl, nullptr, 80, 6, 'L', 2, {'d', 'd', 0}},
    {nullptr, nullptr, 80, 6, 'L', 2, {'Y', 'Y', 0}},
    {nullptr, nullptr, 80, 6, 'L', 2, {'T', 'T', 0}},
    {e4lessStr, "<", 90, 6, 'L', 2, {'C', 'C', 0}},
    {e4lessDbl, nullptr, 90, 6, 'L', 2, {'n', 'n', 0}},
    {e4lessDbl, nullptr, 90, 6, 'L', 2, {'d', 'd', 0}},
    {nullptr, nullptr, 90, 6, 'L', 2, {'Y', 'Y', 0}},
    {nullptr, nullptr, 90, 6, 'L', 2, {'T', 'T', 0}},
    {e4power, "^", 100, 9, 'n', 2, {'n', 'n', 0}},
    {e4multiply, "*", 102, 8, 'n', 2, {'n', 'n', 0}},
    {e4divide, "/", 105, 8, 'n', 2, {'n', 'n', 0}},
    {e4contain, "$", 110, 6, 'L', 2, {'C', 'C', 0}},
    // functions
    {e4chr, "CHR", 120, 0, 'C', 1, {'n', 0, 0}},
    {e4del, "DEL", 125, 0, 'C', 0, {0, 0, 0}},
    {e4str, "STR", 130, 0, 'C', 1, {'n', 0, 0}},
    {e4substr, "SUBSTR", 140, 0, 'C', 1, {'C', 0, 0}},
    {e4substr, "LEFT", 145, 0, 'C', 1, {'C', 0, 0}},
    {e4substr, "RIGHT", 147, 0, 'C', 1, {'C', 0, 0}},
    {e4time, "TIME", 150, 0, 'C', 0, {0, 0, 0}},
    {e4upper, "UPPER", 160, 0, 'C', 1, {'C', 0, 0}},
    {e4dtosText, "DTOS", 170, 0, 'C', 1, {'D', 0, 0}},
    {e4dtosDbl, nullptr, 170, 0, 'C', 1, {'d', 0, 0}},
    {e4dtocText, "DTOC", 180, 0, 'C', 1, {'D', 0, 0}},
    {e4dtocDbl, nullptr, 180, 0, 'C', 1, {'d', 0, 0}},
    {e4trim, "TRIM", 190, 0, 'C', 1, {'C', 0, 0}},
    {e4ltrim, "LTRIM", 200, 0, 'C', 1, {'C', 0, 0}},
    {e4alltrim, "ALLTRIM", 205, 0, 'C', 1, {'C', 0, 0}},
    {e4iif, "IIF", 210, 0, 'C', 3, {'L', 'C', 'C'}},
    {e4iif, nullptr, 210, 0, 'n', 3, {'L', 'n', 'n'}},
    {e4iif, nullptr, 210, 0, 'd', 3, {'L', 'd', 'd'}},
    {e4iif, nullptr, 210, 0, 'L', 3, {'L', 'L', 'L'}},
    {e4stod, "STOD", 220, 0, 'd', 1, {'C', 0, 0}},
    {e4ctod, "CTOD", 230, 0, 'd', 1, {'C', 0, 0}},
    {e4date, "DATE", 240, 0, 'd', 0, {0, 0, 0}},
    {e4datePartText<6, 2>, "DAY", 250, 0, 'n', 1, {'D', 0, 0}},
    {e4datePartDbl<6, 2>, nullptr, 250, 0, 'n', 1, {'d', 0, 0}},
    {e4datePartText<4, 2>, "MONTH", 260, 0, 'n', 1, {'D', 0, 0}},
    {e4datePartDbl<4, 2>, nullptr, 260, 0, 'n', 1, {'d', 0, 0}},
    {e4datePartText<0, 4>, "YEAR", 270, 0, 'n', 1, {'D', 0, 0}},
    {e4datePartDbl<0, 4>, nullptr, 270, 0, 'n', 1, {'d', 0, 0}},
    {e4deleted, "DELETED", 280, 0, 'L', 0, {0, 0, 0}},
    {e4reccount, "RECCOUNT", 290, 0, 'n', 0, {0, 0, 0}},
    {e4recno, "RECNO", 300, 0, 'n', 0, {0, 0, 0}},
    {e4val, "VAL", 310, 0, 'n', 1, {'C', 0, 0}},
    {e4pageno, "PAGENO", 320, 0, 'n', 0, {0, 0, 0}},
    {e4descend, "DESCEND", 330, 0, 'C', 1, {'C', 0, 0}},
    {e4descend, nullptr, 330, 0, 'C', 1, {'N', 0, 0}},
    {e4descend, nullptr, 330, 0, 'C', 1, {'D', 0, 0}},
    {e4descend, nullptr, 330, 0, 'C', 1, {'d', 0, 0}},
    {e4descend, nullptr, 330, 0, 'C', 1, {'L', 0, 0}},
    {e4ascend, "ASCEND", 340, 0, 'C', 1, {'C', 0, 0}},
    {e4ascend, nullptr, 340, 0, 'C', 1, {'N', 0, 0}},
    {e4ascend, nullptr, 340, 0, 'C', 1, {'D', 0, 0}},
    {e4ascend, nullptr, 340, 0, 'C', 1, {'d', 0, 0}},
    {e4ascend, nullptr, 340, 0, 'C', 1, {'L', 0, 0}},
    {nullptr, nullptr, -1, 0, 0, 0, {0, 0, 0}},
};

const int v4functionCount = static_cast<int>(sizeof v4functions / sizeof v4functions[0]) - 1;
