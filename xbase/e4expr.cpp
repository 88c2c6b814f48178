// Parsing dBASE expression text into steps, the type and length pass, evaluation and key text.
#include "e4expr.h"

#include "e4functions.h"
#include "e4host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {

// Location numbers passed with raised errors (they only tell the places apart).
enum { loc4parse = 90401, loc4massage = 90402, loc4vary = 90403, loc4true = 90404 };

// Operator stack markers. An empty stack reads as E4MARK_EMPTY.
enum { E4MARK_MORE = -1, E4MARK_SUB = -2, E4MARK_EMPTY = -3 };

// No expression needs more than this much evaluation buffer; a longer one (a STR or memo length out of all
// reason, typically from a damaged index header) is refused as an overflow instead of allocated.
constexpr int e4maxBuffer = 1 << 20;

std::recursive_mutex& e4evalMutex() {
    static std::recursive_mutex m;
    return m;
}

struct E4OPNAME {
    const char* name;
    short id;
};
// Operator look-up order: the first name that matches the text wins ("<=" before "<", "**" before "*").
const E4OPNAME e4operators[] = {
    {".OR.", E4ID_OR},    {".AND.", E4ID_AND}, {"+", E4ID_ADD},     {"-", E4ID_SUB},   {"#", E4ID_NE},
    {"<>", E4ID_NE},      {">=", E4ID_GE},     {"=>", E4ID_GE},     {"<=", E4ID_LE},   {"=<", E4ID_LE},
    {"=", E4ID_EQ},       {">", E4ID_GT},      {"<", E4ID_LT},      {"^", E4ID_POWER}, {"**", E4ID_POWER},
    {"*", E4ID_MULTIPLY}, {"/", E4ID_DIVIDE},  {"$", E4ID_CONTAIN},
};

bool matchesNoCase(const char* text, size_t avail, const char* name) {
    size_t n = std::strlen(name);
    if (n > avail)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != name[i])
            return false;
    }
    return true;
}
bool isNameChar(char c) {
    return c4nameChar(static_cast<unsigned char>(c)) != 0;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int clampInt(double d, int lo, int hi) {
    if (std::isnan(d))
        return 0;
    if (d < lo)
        return lo;
    if (d > hi)
        return hi;
    return static_cast<int>(d);
}

struct E4PARSE {
    CODE4* c4 = nullptr;
    DATA4* data = nullptr;
    TAG4FILE* tag = nullptr;
    const char* src = nullptr;
    size_t len = 0;
    size_t pos = 0;
    std::vector<E4INFO> info;
    std::vector<char> constants;
    std::vector<int> ops;
    int keyDec = 0;

    char cur() const { return pos < len ? src[pos] : 0; }
    bool atEnd() const { return pos >= len; }
    size_t avail() const { return len - pos; }
    int top() const { return ops.empty() ? E4MARK_EMPTY : ops.back(); }

    int error(int code, const char* text1 = nullptr) {
        if (!c4->exprErrors)
            return code;
        if (text1)
            return error4raiseText(c4, code, loc4parse, text1, src);
        return error4raiseText(c4, code, loc4parse, src);
    }
    void skipSpaces() {
        while (pos < len && src[pos] == ' ')
            ++pos;
    }
    void skipBlanks() {
        while (pos < len && static_cast<unsigned char>(src[pos]) >= 1 && static_cast<unsigned char>(src[pos]) <= 32)
            ++pos;
    }
    int addConstant(const void* bytes, size_t n) {
        size_t at = constants.size();
        constants.insert(constants.end(), static_cast<const char*>(bytes), static_cast<const char*>(bytes) + n);
        return static_cast<int>(at);
    }
    void addStep(short row, int numParms) {
        E4INFO s;
        s.row = row;
        s.numParms = numParms;
        info.push_back(s);
    }
    // Emits the operator on top of the stack as a step; each one-more-parameter marker beneath it adds one.
    void emit() {
        int row = ops.back();
        ops.pop_back();
        int n = v4functions[row].numParms < 0 ? 2 : v4functions[row].numParms;
        while (!ops.empty() && ops.back() == E4MARK_MORE) {
            ops.pop_back();
            ++n;
        }
        addStep(static_cast<short>(row), n);
    }
};

int parseExpr(E4PARSE& p);

int parseFunction(E4PARSE& p, const std::string& name) {
    int row = -1;
    for (int r = e4rowOfId(E4ID_CHR); r >= 0 && v4functions[r].id >= 0; ++r)
        if (v4functions[r].name && name == v4functions[r].name) {
            row = r;
            break;
        }
    if (row < 0)
        return p.error(e4unrecFunction, name.c_str());
    ++p.pos; // "("
    p.ops.push_back(E4MARK_SUB);
    std::vector<size_t> argStart;
    p.skipBlanks();
    if (p.cur() == ')') {
        ++p.pos;
    } else {
        for (;;) {
            argStart.push_back(p.info.size());
            if (int rc = parseExpr(p))
                return rc;
            p.skipBlanks();
            if (p.atEnd())
                return p.error(e4rightMissing);
            char c = p.cur();
            ++p.pos;
            if (c == ')')
                break;
            if (c != ',')
                return p.error(e4commaExpected);
        }
    }
    p.ops.pop_back();

    const short id = v4functions[row].id;
    int nargs = static_cast<int>(argStart.size());
    // Takes the last argument, which must be one numeric constant, off the step list.
    auto fold = [&](double& value) -> int {
        size_t at = argStart.back();
        if (p.info.size() - at != 1 || p.info[at].row != E4ROW_CONST_NUM)
            return p.error(e4notConstant);
        std::memcpy(&value, p.constants.data() + p.info[at].i1, sizeof value);
        p.info.pop_back();
        argStart.pop_back();
        --nargs;
        return 0;
    };
    int i1 = 0, i2 = 0, len = 0;
    double v = 0;
    if (id == E4ID_STR) {
        int dec = 0;
        len = 10;
        if (nargs >= 3) {
            if (int rc = fold(v))
                return rc;
            dec = clampInt(v, -1, e4maxBuffer);
        }
        if (nargs >= 2) {
            if (int rc = fold(v))
                return rc;
            len = clampInt(v, -1, e4maxBuffer);
        }
        if (len < 0)
            len = 10;
        if (dec + 1 >= len)
            dec = len - 2;
        if (dec < 0)
            dec = 0;
        i1 = dec;
    } else if (id == E4ID_SUBSTR) {
        if (nargs == 3) {
            if (int rc = fold(v))
                return rc;
            len = clampInt(v, 0, e4maxBuffer);
            if (int rc = fold(v))
                return rc;
            i1 = clampInt(v, -e4maxBuffer, e4maxBuffer) - 1;
        } else if (nargs == 2) {
            // Two arguments mean from the start to the end, as index files written by other programs expect.
            if (int rc = fold(v))
                return rc;
            i1 = clampInt(v, -e4maxBuffer, e4maxBuffer) - 1;
            i2 = -1;
        }
    } else if (id == E4ID_LEFT && nargs == 2) {
        if (int rc = fold(v))
            return rc;
        len = clampInt(v, 0, e4maxBuffer);
    } else if (id == E4ID_RIGHT && nargs == 2) {
        if (int rc = fold(v))
            return rc;
        i2 = clampInt(v, 0, e4maxBuffer);
    }
    const int want = v4functions[row].numParms;
    if (want >= 0 && nargs != want) {
        if (id == E4ID_DTOC && nargs == 2) {
            p.info.resize(argStart.back());
            row = e4rowOfId(E4ID_DTOS);
            nargs = 1;
        } else {
            return p.error(e4numParms, name.c_str());
        }
    }
    p.addStep(static_cast<short>(row), nargs);
    p.info.back().i1 = i1;
    p.info.back().i2 = i2;
    p.info.back().len = len;
    return 0;
}

int parseField(E4PARSE& p, DATA4* data, const std::string& name) {
    if (p.tag && data != p.data)
        return p.error(e4tagExpr, name.c_str());
    FIELD4* f = d4field(data, name.c_str());
    if (!f)
        return e4fieldName;
    short row;
    switch (f4type(f)) {
    case 'C':
        row = E4ROW_FIELD_STR;
        break;
    case 'D':
        row = E4ROW_FIELD_DATE_S;
        break;
    case 'N':
    case 'F':
        row = E4ROW_FIELD_NUM_S;
        break;
    case 'L':
        row = E4ROW_FIELD_LOG;
        break;
    case 'M':
        row = E4ROW_FIELD_MEMO;
        break;
    default:
        return p.error(e4typeSub, name.c_str());
    }
    p.addStep(row, 0);
    E4INFO& s = p.info.back();
    s.field = f;
    s.fieldNo = f4number(f);
    s.fieldData = data;
    s.fieldOffset = static_cast<int>(f4ptr(f) - e4hostRecord(data));
    s.localData = data == p.data;
    p.keyDec = f4decimals(f);
    return 0;
}

int parseValue(E4PARSE& p) {
    p.skipSpaces();
    if (p.atEnd())
        return p.error(e4unrecValue);
    const char c = p.cur();
    if (c == '(') {
        ++p.pos;
        p.ops.push_back(E4MARK_SUB);
        if (int rc = parseExpr(p))
            return rc;
        p.skipBlanks();
        if (p.cur() != ')')
            return p.error(e4rightMissing);
        ++p.pos;
        p.ops.pop_back();
        return 0;
    }
    if (c == '.') {
        static const struct {
            const char* name;
            short id;
        } logical[] = {{".TRUE.", E4ID_TRUE}, {".T.", E4ID_TRUE}, {".FALSE.", E4ID_FALSE}, {".F.", E4ID_FALSE}};
        for (auto& l : logical)
            if (matchesNoCase(p.src + p.pos, p.avail(), l.name)) {
                p.pos += std::strlen(l.name);
                p.addStep(static_cast<short>(e4rowOfId(l.id)), 0);
                return 0;
            }
        if (matchesNoCase(p.src + p.pos, p.avail(), ".NOT.")) {
            p.pos += 5;
            if (int rc = parseValue(p))
                return rc;
            // Pushed only now, with priority 5: it applies to the whole comparison that follows.
            p.ops.push_back(e4rowOfId(E4ID_NOT));
            return 0;
        }
    }
    if (c == '"' || c == '\'' || c == '[') {
        const char close = c == '[' ? ']' : c;
        const char* end = static_cast<const char*>(std::memchr(p.src + p.pos + 1, close, p.avail() - 1));
        if (!end)
            return p.error(e4unterminated);
        size_t start = p.pos + 1, n = static_cast<size_t>(end - (p.src + start));
        p.addStep(E4ROW_CONST_STR, 0);
        p.info.back().i1 = p.addConstant(p.src + start, n);
        p.info.back().len = static_cast<int>(n);
        p.pos = start + n + 1;
        return 0;
    }
    const bool signedNumber =
        (c == '-' || c == '+') && (isDigit(p.src[p.pos + 1 < p.len ? p.pos + 1 : p.pos]) ||
                                   (p.pos + 2 < p.len && p.src[p.pos + 1] == '.' && isDigit(p.src[p.pos + 2])));
    const bool number = isDigit(c) || (c == '.' && p.pos + 1 < p.len && isDigit(p.src[p.pos + 1])) || signedNumber;
    if (number) {
        size_t end = p.pos + 1;
        while (end < p.len) {
            char d = p.src[end];
            if (isDigit(d)) {
                ++end;
                continue;
            }
            // A "." ends the number when a logical operator or any other letter follows it.
            if (d == '.' && !(end + 1 < p.len && isLetter(p.src[end + 1]))) {
                ++end;
                continue;
            }
            break;
        }
        const bool identifierAfter = end < p.len && isNameChar(p.src[end]) && p.src[end] != '.';
        if (!(identifierAfter && !signedNumber)) {
            if (identifierAfter)
                return p.error(e4unrecValue);
            double d = c4textToDouble(p.src + p.pos, static_cast<int>(end - p.pos));
            p.addStep(E4ROW_CONST_NUM, 0);
            p.info.back().i1 = p.addConstant(&d, sizeof d);
            p.info.back().len = 8;
            p.pos = end;
            return 0;
        }
        // a number followed by a letter: an identifier
    }
    if (isNameChar(c)) {
        size_t start = p.pos;
        while (p.pos < p.len && isNameChar(p.src[p.pos]))
            ++p.pos;
        std::string name(p.src + start, p.pos - start);
        for (char& ch : name)
            if (ch >= 'a' && ch <= 'z')
                ch = static_cast<char>(ch - 'a' + 'A');
        size_t after = p.pos;
        while (after < p.len && p.src[after] == ' ')
            ++after;
        if (after < p.len && p.src[after] == '(') {
            p.pos = after;
            return parseFunction(p, name);
        }
        if (name.size() > 10)
            return p.error(e4unrecValue, name.c_str());
        if (after + 1 < p.len && p.src[after] == '-' && p.src[after + 1] == '>') {
            DATA4* other = e4hostDataByAlias(p.c4, name.c_str());
            if (!other)
                return p.error(e4dataName, name.c_str());
            p.pos = after + 2;
            p.skipSpaces();
            size_t fstart = p.pos;
            while (p.pos < p.len && isNameChar(p.src[p.pos]))
                ++p.pos;
            std::string field(p.src + fstart, p.pos - fstart);
            if (field.empty() || field.size() > 10)
                return p.error(e4unrecValue);
            return parseField(p, other, field);
        }
        return parseField(p, p.data, name);
    }
    return p.error(e4unrecValue);
}

int parseExpr(E4PARSE& p) {
    if (int rc = parseValue(p))
        return rc;
    for (;;) {
        p.skipBlanks();
        if (p.atEnd() || p.cur() == ')' || p.cur() == ',')
            break;
        int row = -1;
        for (auto& op : e4operators)
            if (matchesNoCase(p.src + p.pos, p.avail(), op.name)) {
                row = e4rowOfId(op.id);
                p.pos += std::strlen(op.name);
                break;
            }
        if (row < 0)
            return p.error(e4unrecOperator);
        const int prio = v4functions[row].priority;
        while (p.top() >= 0 && v4functions[p.top()].priority >= prio) {
            if (p.top() == row && v4functions[row].numParms < 0) {
                p.ops.back() = E4MARK_MORE;
                break;
            }
            p.emit();
        }
        p.ops.push_back(row);
        if (int rc = parseValue(p))
            return rc;
    }
    while (p.top() != E4MARK_SUB && p.top() != E4MARK_EMPTY)
        p.emit();
    return 0;
}

// A value a step leaves for the steps after it, until one of them takes it as a parameter.
struct E4PENDING {
    char type;
    int len;
    int pos;  // where it lives in the evaluation buffer
    int step; // the step that produced it
};

bool typeFits(char have, char want) {
    return have == want || (have == 'D' && want == 'd') || (have == 'N' && want == 'n');
}

// The type and length pass over the steps in postfix order, with the values pending between them.
struct E4MASSAGE {
    E4MASSAGE(E4PARSE& parse, EXPR4& expr) : p(parse), e(expr) {}
    E4PARSE& p;
    EXPR4& e;
    std::vector<E4PENDING> pending;
    int nextFree = 0;         // first byte of the evaluation buffer after the pending values
    int maxEnd = 0;           // evaluation buffer bytes needed so far
    bool closeUpNuls = false; // a memo or trim earlier in the expression may leave NULs at a value's end

    // The code, raised when the context wants expression errors raised.
    int fail(int code) const { return p.c4->exprErrors ? error4raiseText(p.c4, code, loc4massage, p.src) : code; }
    // The pending values step s takes as its parameters (the last s.numParms of them).
    E4PENDING* parmsOf(const E4INFO& s) { return pending.data() + pending.size() - s.numParms; }
};

// The row of step s's function whose parameter types the pending values fit: the first such variant of the rows that
// share its id. A negative code for a wrong parameter count or no fitting variant.
int chooseVariant(E4MASSAGE& m, const E4INFO& s) {
    const E4FUNCTIONS& first = v4functions[s.row];
    if (first.numParms > 0 && s.numParms != first.numParms)
        return m.fail(e4numParms);
    if (s.numParms > static_cast<int>(m.pending.size()))
        return m.fail(e4result);
    const E4PENDING* parm = m.parmsOf(s);
    for (int r = s.row; v4functions[r].id == first.id; ++r) {
        const E4FUNCTIONS& row = v4functions[r];
        bool ok = true;
        for (int j = 0; j < s.numParms && ok; ++j)
            ok = typeFits(parm[j].type, row.numParms < 0 ? row.parmTypes[0] : row.parmTypes[j]);
        if (ok)
            return v4functions[r].routine ? r : m.fail(e4typeSub);
    }
    return m.fail(e4typeSub);
}

// A "D" or "N" field where the function wants a double is read as a double instead.
void readFieldsAsDoubles(E4PARSE& p, const E4FUNCTIONS& row, int numParms, E4PENDING* parm) {
    for (int j = 0; j < numParms; ++j) {
        const char want = row.numParms < 0 ? row.parmTypes[0] : row.parmTypes[j];
        if (parm[j].type != want) {
            E4INFO& producer = p.info[static_cast<size_t>(parm[j].step)];
            producer.row = want == 'd' ? E4ROW_FIELD_DATE_D : E4ROW_FIELD_NUM_D;
            producer.routine = v4functions[producer.row].routine;
            producer.len = 8;
            parm[j].type = want;
            parm[j].len = 8;
        }
    }
}

// Functions that alter their parameter must not do it in the record: a character field they take is copied first.
void copyFieldsTheyAlter(E4PARSE& p, short id, int numParms, const E4PENDING* parm) {
    const bool alters = id == E4ID_ADD || id == E4ID_SUB || id == E4ID_SUBSTR || id == E4ID_LEFT || id == E4ID_RIGHT ||
                        id == E4ID_UPPER || id == E4ID_TRIM || id == E4ID_LTRIM || id == E4ID_ALLTRIM ||
                        id == E4ID_DESCEND || id == E4ID_ASCEND;
    if (!alters)
        return;
    for (int j = 0; j < numParms; ++j) {
        E4INFO& producer = p.info[static_cast<size_t>(parm[j].step)];
        if (producer.row == E4ROW_FIELD_STR) {
            producer.row = E4ROW_FIELD_STR_CAT;
            producer.routine = v4functions[E4ROW_FIELD_STR_CAT].routine;
        }
    }
}

// The length of step s's value by what it reads (a field, a memo, a constant) or else by its result type.
int lengthOfValue(E4MASSAGE& m, const E4INFO& s, char type) {
    switch (s.row) {
    case E4ROW_FIELD_STR:
    case E4ROW_FIELD_STR_CAT:
    case E4ROW_FIELD_NUM_S:
        return static_cast<int>(f4len(s.field));
    case E4ROW_FIELD_MEMO:
        m.closeUpNuls = true;
        return e4hostState(m.p.c4).memoLen;
    case E4ROW_FIELD_DATE_S:
        return 8;
    case E4ROW_CONST_STR:
        return s.len;
    default:
        if (type == 'L')
            return 4;
        if (type == 'd' || type == 'n')
            return 8;
        return 0;
    }
}

// What the function of step s needs fixed from its parameters: its length where that depends on them (len is updated),
// and its positions, compare lengths and picture. 0 or a negative code.
int fitFunction(E4MASSAGE& m, E4INFO& s, const E4FUNCTIONS& row, const E4PENDING* parm, int& len) {
    const short id = row.id;
    const char type = row.type;
    const int argLen = s.numParms > 0 ? parm[0].len : 0;
    switch (id) {
    case E4ID_CHR:
    case E4ID_DEL:
        len = 1;
        break;
    case E4ID_STR:
        len = s.len;
        if (len <= 0)
            return m.fail(e4numParms);
        break;
    case E4ID_SUBSTR:
    case E4ID_LEFT: {
        int start = std::clamp(s.i1, 0, argLen);
        int want = s.i2 == -1 ? argLen - start : s.len;
        s.i1 = start;
        len = std::max(0, std::min(want, argLen - start));
        break;
    }
    case E4ID_RIGHT:
        s.i1 = std::clamp(argLen - s.i2, 0, argLen);
        len = std::min(s.i2, argLen);
        break;
    case E4ID_TIME:
    case E4ID_DTOS:
        len = 8;
        break;
    case E4ID_UPPER:
        len = argLen;
        break;
    case E4ID_TRIM:
    case E4ID_LTRIM:
    case E4ID_ALLTRIM:
        len = argLen;
        m.e.hasTrim = true;
        m.closeUpNuls = true;
        break;
    case E4ID_DTOC:
    case E4ID_CTOD: {
        const char* pic = m.p.c4->datePicture;
        s.i1 = m.p.addConstant(pic, std::strlen(pic) + 1);
        s.i2 = argLen;
        if (id == E4ID_DTOC)
            len = static_cast<int>(std::strlen(pic));
        break;
    }
    case E4ID_STOD:
    case E4ID_VAL:
        s.i2 = argLen;
        break;
    case E4ID_IIF:
        if (type == 'C') {
            if (parm[1].len != parm[2].len)
                return m.fail(e4lengthErr);
            len = parm[1].len;
        }
        break;
    case E4ID_ADD:
    case E4ID_SUB:
        if (type == 'C') {
            s.i1 = parm[0].len;
            len = parm[0].len + parm[1].len;
        }
        break;
    case E4ID_EQ:
    case E4ID_NE:
    case E4ID_GT:
    case E4ID_LT:
    case E4ID_GE:
    case E4ID_LE:
        s.i1 = std::min(parm[0].len, parm[1].len);
        if (id == E4ID_GT || id == E4ID_LE)
            s.tie = parm[0].len > parm[1].len;
        else if (id == E4ID_LT || id == E4ID_GE)
            s.tie = parm[0].len < parm[1].len;
        break;
    case E4ID_CONTAIN:
        s.i1 = parm[0].len;
        s.i2 = parm[1].len;
        break;
    case E4ID_DESCEND:
    case E4ID_ASCEND:
        len = row.parmTypes[0] == 'd' ? 8 : argLen;
        break;
    default:
        break;
    }
    return 0;
}

// Places step i's value in the evaluation buffer, over its first parameter's bytes or else at the first free byte,
// and leaves it pending in place of its parameters. 0 or a negative code (a result type the pass does not know, a
// buffer or a stack of pending values past its bound).
int placeValue(E4MASSAGE& m, size_t i, char type, int len) {
    if (type != 'C' && type != 'L' && type != 'd' && type != 'n' && type != 'D' && type != 'N')
        return m.fail(e4result);
    E4INFO& s = m.p.info[i];
    const E4PENDING* parm = m.parmsOf(s);
    s.len = len;
    int span = 1;
    for (int j = 0; j < s.numParms; ++j)
        span += m.p.info[static_cast<size_t>(parm[j].step)].numEntries;
    s.numEntries = span;
    const int pos = s.numParms > 0 ? parm[0].pos : m.nextFree;
    s.resultPos = pos;
    int reserve = len;
    if ((type == 'D' || type == 'N') && reserve < 8)
        reserve = 8;
    m.nextFree = pos + reserve;
    if (m.nextFree >= e4maxBuffer)
        return m.fail(e4overflow);
    m.maxEnd = std::max(m.maxEnd, m.nextFree);
    m.pending.resize(m.pending.size() - static_cast<size_t>(s.numParms));
    m.pending.push_back({type, len, pos, static_cast<int>(i)});
    if (m.pending.size() > 19)
        return m.fail(e4overflow);
    return 0;
}

// Fixes step i: its variant, its length and where its value lives. 0 or a negative code.
int massageStep(E4MASSAGE& m, size_t i) {
    E4INFO& s = m.p.info[i];
    const int chosen = chooseVariant(m, s);
    if (chosen < 0)
        return chosen;
    const E4FUNCTIONS& row = v4functions[chosen];
    E4PENDING* parm = m.parmsOf(s);
    readFieldsAsDoubles(m.p, row, s.numParms, parm);
    copyFieldsTheyAlter(m.p, row.id, s.numParms, parm);
    // String + has a variant that closes up trailing NULs of its left part, the next row.
    const int variant = row.id == E4ID_ADD && row.type == 'C' && m.closeUpNuls ? chosen + 1 : chosen;
    s.row = static_cast<short>(variant);
    s.routine = v4functions[variant].routine;
    int len = lengthOfValue(m, s, row.type);
    if (int rc = fitFunction(m, s, row, parm, len))
        return rc;
    return placeValue(m, i, row.type, len);
}

// Fixes every step's variant, length and buffer position, and the expression's type, length and buffer size.
int e4massage(E4PARSE& p, EXPR4& e) {
    E4MASSAGE m(p, e);
    for (size_t i = 0; i < p.info.size(); ++i)
        if (int rc = massageStep(m, i))
            return rc;
    if (m.pending.size() != 1)
        return m.fail(e4result);
    e.type = m.pending[0].type;
    e.len = m.pending[0].len;
    e.bufLen = m.maxEnd;
    return 0;
}

double readDouble(const char* p) {
    double d;
    std::memcpy(&d, p, sizeof d);
    return d;
}

} // namespace

int e4rowOfId(int id) {
    for (int r = 0; v4functions[r].id >= 0; ++r)
        if (v4functions[r].id == id)
            return r;
    return -1;
}

EXPR4* expr4parse(DATA4* data, const char* text, TAG4FILE* tag) {
    if (!data || !text) {
        error4raise(data ? e4hostCode(data) : nullptr, e4parmNull, loc4parse);
        return nullptr;
    }
    CODE4* c4 = e4hostCode(data);
    if (c4->errorLatch < 0)
        return nullptr;
    E4PARSE p;
    p.c4 = c4;
    p.data = data;
    p.tag = tag;
    p.src = text;
    p.len = std::strlen(text);
    if (parseExpr(p) != 0)
        return nullptr;
    if (!p.ops.empty()) {
        p.error(e4complete);
        return nullptr;
    }
    auto* e = new EXPR4;
    if (e4massage(p, *e) != 0) {
        delete e;
        return nullptr;
    }
    e->info = std::move(p.info);
    e->constants = std::move(p.constants);
    e->constants.push_back(0);
    e->source = text;
    e->data = data;
    e->tagPtr = tag;
    e->c4 = c4;
    e->keyDec = p.keyDec;
    e->bound = true;
    return e;
}

void expr4free(EXPR4* expr) {
    delete expr;
}

int expr4context(EXPR4* e, DATA4* data) {
    if (!e || !data)
        return error4raise(e ? e->c4 : nullptr, e4parmNull, loc4vary);
    for (E4INFO& s : e->info) {
        if (!s.field || !s.localData)
            continue;
        FIELD4* f = d4fieldJ(data, s.fieldNo);
        if (!f)
            return e4parm;
        s.field = f;
        s.fieldData = data;
        s.fieldOffset = static_cast<int>(f4ptr(f) - e4hostRecord(data));
    }
    e->data = data;
    e->bound = true;
    return 0;
}

int expr4vary(EXPR4* e, char** result) {
    if (!e)
        return error4raise(nullptr, e4parmNull, loc4vary);
    if (e->c4->errorLatch < 0)
        return e4context;
    std::lock_guard lock(e4evalMutex());
    if (!e->bound)
        if (int rc = expr4context(e, e->data))
            return rc;
    E4CODE& st = e4hostState(e->c4);
    if (st.evalBuf.size() < static_cast<size_t>(e->bufLen) + 1)
        st.evalBuf.resize(static_cast<size_t>(e->bufLen) + 1);
    E4EVAL ev;
    ev.expr = e;
    ev.buf = st.evalBuf.data();
    ev.record = e->recordOverride ? e->recordOverride : e4hostRecord(e->data);
    for (const E4INFO& s : e->info)
        s.routine(ev, s);
    *result = const_cast<char*>(ev.stack[0]);
    return e->len;
}

int expr4keyLen(EXPR4* e) {
    if (!e)
        return e4parmNull;
    switch (e->type) {
    case 'n':
        return e->keyLen > 0 ? e->keyLen : e4hostState(e->c4).numericStrLen;
    case 'd':
        return 8;
    default:
        return e->len;
    }
}

int expr4key(EXPR4* e, char** result) {
    char* value = nullptr;
    int len = expr4vary(e, &value);
    if (len < 0)
        return len;
    E4CODE& st = e4hostState(e->c4);
    const int keyLen = expr4keyLen(e);
    if (st.keyBuf.size() < static_cast<size_t>(keyLen) + 1)
        st.keyBuf.resize(static_cast<size_t>(keyLen) + 1);
    char* k = st.keyBuf.data();
    switch (e->type) {
    case 'C':
        std::memcpy(k, value, static_cast<size_t>(len));
        if (e->hasTrim)
            for (int i = len - 1; i >= 0 && k[i] == 0; --i)
                k[i] = ' ';
        break;
    case 'N':
        std::memcpy(k, value, static_cast<size_t>(len));
        c4numTextToKey(k, len);
        break;
    case 'd': {
        double d = readDouble(value);
        date4assign(k, d >= 1 && d < 1e9 ? static_cast<long>(d) : 0);
        break;
    }
    case 'n':
        c4doubleToKey(readDouble(value), k, keyLen, st.decimals);
        break;
    default:
        std::memcpy(k, value, static_cast<size_t>(len));
        break;
    }
    k[keyLen] = 0;
    *result = k;
    return keyLen;
}

int expr4true(EXPR4* e) {
    if (!e)
        return error4raise(nullptr, e4parmNull, loc4true);
    if (e->type != 'L')
        return error4raise(e->c4, e4result, loc4true);
    char* value = nullptr;
    int rc = expr4vary(e, &value);
    if (rc < 0)
        return rc;
    int v;
    std::memcpy(&v, value, sizeof v);
    return v != 0;
}

double expr4double(EXPR4* e) {
    char* value = nullptr;
    if (expr4vary(e, &value) < 0)
        return 0;
    switch (e->type) {
    case 'n':
    case 'd':
        return readDouble(value);
    case 'N':
    case 'C':
        return c4textToDouble(value, e->len);
    case 'D':
        return static_cast<double>(date4toJulian(value));
    default:
        return 0;
    }
}
