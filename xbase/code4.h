// Engine context, status codes and the error latch.
#pragma once

#include "e4expr.h"
#include "file4.h"
#include "l4list.h"

#include <mutex>

// Positive outcomes (never latched as errors).
enum {
    r4success = 0,
    r4after = 2,
    r4eof = 3,
    r4entry = 5,
    r4unique = 20,
    r4uniqueContinue = 25,
    r4locked = 50,
    r4noCreate = 60,
    r4noOpen = 70,
    r4noTag = 80,
    r4logOpen = 170,
};

// Errors: each has one fixed text (error4text).
enum {
    e4close = -10,
    e4create = -20,
    e4len = -30,
    e4lenSet = -40,
    e4lock = -50,
    e4open = -60,
    e4permiss = -61,
    e4access = -62,
    e4numFiles = -63,
    e4fileFind = -64,
    e4instance = -69,
    e4read = -70,
    e4remove = -80,
    e4rename = -90,
    e4seek = -250,
    e4unlock = -110,
    e4write = -120,
    e4authorize = -1430,
    e4data = -200,
    e4fieldName = -210,
    e4fieldType = -220,
    e4recordLen = -230,
    e4append = -240,
    e4entry = -300,
    e4index = -310,
    e4tagName = -330,
    e4unique = -340,
    e4tagInfo = -350,
    e4commaExpected = -400,
    e4complete = -410,
    e4dataName = -420,
    e4lengthErr = -422,
    e4notConstant = -425,
    e4numParms = -430,
    e4overflow = -440,
    e4rightMissing = -450,
    e4typeSub = -460,
    e4unrecFunction = -470,
    e4unrecOperator = -480,
    e4unrecValue = -490,
    e4unterminated = -500,
    e4tagExpr = -510,
    e4opt = -610,
    e4optSuspend = -620,
    e4optFlush = -630,
    e4info = -910,
    e4memory = -920,
    e4parm = -930,
    e4parmNull = -935,
    e4result = -950,
    e4verify = -960,
    e4notSupported = -1090,
    e4version = -1095,
    e4memoCorrupt = -1110,
    e4memoCreate = -1120,
    e4max = -1400,
    e4trans = -1200,
    e4transViolation = -1200,
    e4transError = -1210,
    e4rollback = -1220,
    e4commit = -1230,
    e4context = -1410,
    e4nameNotFound = -1420,
    e4logAppend = -1240,
    e4struct = -970,
};

constexpr int code4version = 6200;
constexpr long lock4base = 1000000000L;

struct DATA4;
struct LOCK4;

// The log file and its state in the context.
struct LOG4 {
    int isOpen;
    FILEREC4 file;
    char* fileName;
    int slot; // -1 = no user slot held
    char userId[11];
    char netId[11];
    int state; // 110 open, 120 transaction, 130 rolling back
    char* buffer;
    unsigned bufferLen;
    unsigned bufferUsed;
};

// The plain settings and state of a context; code4init resets all of it.
struct CODE4_ST {
    int autoOpen;
    int createErrors;
    int errDefaultUnique;
    int exprErrors;
    int fieldNameErrors;
    int openErrors;
    int errorLatch;
    int dataLogDefault;
    int readOnlyOpen;
    unsigned char createSafety;
    int errorPlace;
    char* fieldBuffer;
    unsigned fieldBufferLen;
    unsigned char shareMode;
    int lockWaitHundredths;
    int flushEachWrite;
    unsigned char lockOnRead;
    int lockTries;
    int tagNameErrors;
    int logOpen;
    int duplicateOpenCheck;
    int goErrors;
    int lockBeforeWrite;
    // The last lock refused: record number (0 for the append byte) and, when the holder is a handle of this
    // process, its alias and the ids of the log join.
    long lockedRecord;
    const char* lockedAlias;
    const char* lockedUserId;
    const char* lockedNetId;
    LOG4 log;
    char datePicture[20];
    int unlockAuto;
    int handleCounter;
    int indexChecks;
    int initialized;
    LISTHEAD4 dataList;     // open DATA4 handles
    LISTHEAD4 dataFileList; // open data files (DATA4FILE)
    POOL4* dataMemory;
    POOL4* dataFileMemory;
    POOL4* lockMemory;
    POOL4* indexMemory;   // index-file records (pools of the index layer)
    POOL4* tagMemory;     // tag handles
    POOL4* tagFileMemory; // tag-file records
};

// The engine context. Engine calls that work on files or handles (d4open, d4create, d4close, d4go, d4skip,
// d4append, d4blank, d4flush, d4refreshRecord, d4lock, d4lockAppend, d4unlock, code4logOpen, and memo reads and
// writes) take `mutex`, so two threads may share one context. Field reads and assignments do not: f4str hands out
// the context's one field buffer, so a thread that reads fields while another may use the context holds
// code4lock() around the call and the use of its result.
struct CODE4 : CODE4_ST {
    std::recursive_mutex mutex;
    FILE4SYS* sys = nullptr; // nullptr = the POSIX default
    E4CODE expr;             // working buffers and settings of the expression engine
};

using CODE4GUARD = std::lock_guard<std::recursive_mutex>;
inline std::unique_lock<std::recursive_mutex> code4lock(CODE4* c4) {
    return std::unique_lock(c4->mutex);
}
FILE4SYS* code4sys(CODE4* c4);

int code4init(CODE4* c4, int version = code4version);
int error4raise(CODE4* c4, int code, int location);
int error4raiseText(CODE4* c4, int code, int location, const char* s1, const char* s2 = nullptr,
                    const char* s3 = nullptr);
int error4set(CODE4* c4, int value);
int error4code(const CODE4* c4);
const char* error4text(int code); // the fixed text of a code, or nullptr
// The application's error hook; this system does nothing there. Tests may install a recorder.
using ERROR4HOOK = void (*)(CODE4*, int code, int location, const char*, const char*, const char*);
void e4hookSet(ERROR4HOOK hook);
void e4hook(CODE4* c4, int code, int location, const char* s1, const char* s2, const char* s3);
int code4dateFormatSet(CODE4* c4, const char* picture);
const char* code4dateFormat(CODE4* c4);
int code4indexFormat(CODE4* c4);
// Frees what the context owns (field and memo buffers, pools). Every DATA4 must be closed first.
int code4initUndo(CODE4* c4);
