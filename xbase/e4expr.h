// dBASE expressions: the compiled form of index keys and filters, and their evaluation against a record.
//
// An expression is parsed once (when a tag is opened) into a postfix list of steps. A type and length pass
// fixes where every intermediate value lives in one evaluation buffer, so evaluation itself allocates nothing
// and most operators work in place on their first parameter's bytes.
#pragma once

#include <string>
#include <vector>

struct CODE4;
struct DATA4;
struct FIELD4;
struct TAG4FILE;
struct EXPR4;
struct E4INFO;

// The state one evaluation works on. Only one evaluation runs at a time in the process (see expr4vary).
struct E4EVAL {
    EXPR4* expr = nullptr;
    char* buf = nullptr;          // the context's evaluation buffer
    const char* record = nullptr; // record image the field steps read
    const char* stack[20] = {};
    int sp = 0;
};

using E4ROUTINE = void (*)(E4EVAL&, const E4INFO&);

// One row of the operator and function table. Rows that share an id are type variants of the first row of
// that id; parameter types use the letters C D N L d n (a date or number held as a double is "d"/"n").
struct E4FUNCTIONS {
    E4ROUTINE routine;
    const char* name;
    short id;
    signed char priority;
    char type;
    signed char numParms; // -1: any number, each checked against parmTypes[0]
    char parmTypes[3];
};

// One step of a compiled expression.
struct E4INFO {
    short row = 0; // index into the function table
    E4ROUTINE routine = nullptr;
    int len = 0; // length of the value this step produces
    int numParms = 0;
    int resultPos = 0; // where the value lives in the evaluation buffer
    int i1 = 0;        // start (SUBSTR/LEFT/RIGHT), decimals (STR), compare length, left length
                       // (string + and -), constant or picture position
    int i2 = 0;        // parse-time count for RIGHT / length given to SUBSTR (-1: to the end)
    FIELD4* field = nullptr;
    int fieldNo = 0;            // 1-based position of the field in its data file, for re-binding
    int fieldOffset = 0;        // offset of the field in the record image
    DATA4* fieldData = nullptr; // the data file the field belongs to
    bool localData = false;     // the field belongs to the expression's own data file
    int tie = 0;                // result of ">" and "<" when the compared bytes are equal
    int numEntries = 1;         // steps spanned by this value (itself plus its parameters)
};

// Per-context working state of the expression engine (held by CODE4).
struct E4CODE {
    std::vector<char> evalBuf;
    std::vector<char> keyBuf;
    std::vector<char> savedKey; // key copied aside by index skips before a descent
    int numericStrLen = 17;     // key length of numeric results held as doubles
    int decimals = 2;           // their decimals; set to a tag's key decimals while its key is built
    int memoLen = 1024;         // length a memo field has inside an expression
    int pageNo = 0;             // read by PAGENO()
};

struct EXPR4 {
    std::vector<E4INFO> info;
    std::vector<char> constants; // numeric constants as doubles, character constants, date pictures
    std::string source;
    DATA4* data = nullptr;
    TAG4FILE* tagPtr = nullptr;
    CODE4* c4 = nullptr;
    char type = 0;
    int len = 0;
    int keyLen = 0; // set by the tag from its header (0: not a tag key)
    int keyDec = 0;
    int bufLen = 0;       // evaluation buffer bytes needed
    bool hasTrim = false; // TRIM, LTRIM or ALLTRIM is part of it: the value may end in NULs
    bool bound = false;
    const char* recordOverride = nullptr; // record image to evaluate on instead of the current record
};

extern const E4FUNCTIONS v4functions[];

// Parse `text` for data file `data`. `tag` marks a tag expression (fields of other data files refused).
// Null on failure; the reason is the returned error in the context's latch (when exprErrors is on).
EXPR4* expr4parse(DATA4* data, const char* text, TAG4FILE* tag = nullptr);
void expr4free(EXPR4* expr);

// Evaluate; *result points into the evaluation buffer until the next evaluation. Returns the length.
int expr4vary(EXPR4* expr, char** result);
// Evaluate and turn the value into key text (NUL-terminated in the context's key buffer). Returns its length.
int expr4key(EXPR4* expr, char** result);
int expr4keyLen(EXPR4* expr);
// 1 or 0 for a logical expression; e4result for any other result type.
int expr4true(EXPR4* expr);
// Bind the field steps to `data` (fields found again by position) and evaluate on its current record.
int expr4context(EXPR4* expr, DATA4* data);
double expr4double(EXPR4* expr);

inline char expr4type(const EXPR4* expr) {
    return expr ? expr->type : 0;
}
inline int expr4len(const EXPR4* expr) {
    return expr ? expr->len : -1;
}
inline const char* expr4source(const EXPR4* expr) {
    return expr ? expr->source.c_str() : nullptr;
}
