#include "code4.h"
#include "log4.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

struct ErrorText {
    int code;
    const char* text;
};

const ErrorText errorTexts[] = {
    {-10, "Closing File"},
    {-20, "Creating File"},
    {-30, "Determining File Length"},
    {-40, "Setting File Length"},
    {-50, "Locking File"},
    {-60, "Opening File"},
    {-61, "Permission Error Opening File"},
    {-62, "Access Error Opening File"},
    {-63, "File Handle Count Overflow Error Opening File"},
    {-64, "File Find Error Opening File"},
    {-69, "Duplicate Instance Found Error Opening File"},
    {-70, "Reading File"},
    {-80, "Removing File"},
    {-90, "Renaming File"},
    {-250, "Seeking to File Position"},
    {-110, "Unlocking File"},
    {-120, "Writing to File"},
    {-1430, "Authorization Error (access denied)"},
    {-200, "File is not a Data File"},
    {-210, "Unrecognized Field Name"},
    {-220, "Unrecognized Field Type"},
    {-230, "Record Length is too Large"},
    {-240, "Record Append Attempt Past End of File"},
    {-300, "Tag Entry Missing"},
    {-310, "Not a Correct Index File"},
    {-330, "Tag Name not Found"},
    {-340, "Unique Key Error"},
    {-350, "Tag Information Invalid"},
    {-400, "Comma or Bracket Expected"},
    {-410, "Expression not Complete"},
    {-420, "Data File Name not Located"},
    {-422, "IIF() Needs Parameters of Same Length"},
    {-425, "SUBSTR() and STR() need Constant Parameters"},
    {-430, "Number of Parameters is Wrong"},
    {-440, "Overflow while Evaluating Expression"},
    {-450, "Right Bracket Missing"},
    {-460, "Sub-expression Type is Wrong"},
    {-470, "Unrecognized Function"},
    {-480, "Unrecognized Operator"},
    {-490, "Unrecognized Value"},
    {-500, "Unterminated String"},
    {-510, "Expression Invalid for Tag"},
    {-610, "Optimization Error"},
    {-620, "Optimization Removal Failure"},
    {-630, "Optimization File Flushing Failure"},
    {-710, "Matching Slave Record Not Located"},
    {-720, "Relation Error"},
    {-730, "Relation Referred to Does Not Exist or is Not Initialized"},
    {-810, "Report Error"},
    {-811, "Error Creating Style"},
    {-812, "Error Selecting Style"},
    {-813, "Error Finding Style"},
    {-814, "Error Creating Area"},
    {-815, "Error Creating Group"},
    {-816, "Error Setting Group Reset-Expression"},
    {-817, "Error Creating Total"},
    {-818, "Error Creating Object"},
    {-819, "Error In Windows Output"},
    {-820, "Error In Report Output"},
    {-821, "Error Saving Report"},
    {-822, "Error Retrieving Report"},
    {-823, "Error In Sending Report to Data File"},
    {-910, "Unexpected Information"},
    {-920, "Out of Memory"},
    {-930, "Unexpected Parameter"},
    {-935, "Null Input Parameter unexpected"},
    {-950, "Unexpected Result"},
    {-960, "Structure Verification Failure"},
    {-1010, "Function unsupported: library compiled with S4OFF_INDEX"},
    {-1020, "Function unsupported: library compiled with S4OFF_MEMO"},
    {-1030, "Function unsupported: library compiled with S4NO_RENAME"},
    {-1040, "Function unsupported: library compiled with S4OFF_WRITE"},
    {-1050, "Function unsupported: library not compiled with S4CLIPPER"},
    {-1060, "Function unsupported: library not compiled with S4LOCK_HOOK"},
    {-1090, "Function unsupported"},
    {-1095, "Application/Library version mismatch"},
    {-1110, "Memo File Corrupt"},
    {-1120, "Error Creating Memo File"},
    {-1400, "Tabulon Capabilities Exceeded (system maxed out)"},
    {-1200, "Transaction Violation Error"},
    {-1210, "Transaction Error"},
    {-1220, "Transaction Rollback Failure"},
    {-1230, "Transaction Commit Failure"},
    {-1410, "Tabulon in an Unacknowledged Error State"},
    {-1420, "Name not Found error"},
    {-1300, "Communication Information Corrupt"},
    {-1310, "Connection Failure"},
    {-1320, "Socket Failure"},
    {-1330, "Network Failure"},
    {-1340, "Failure Loading Communication DLL"},
    {-1350, "Network Timed Out"},
    {-1360, "Communication Message Corrupt"},
    {-1370, "Communication Packet Length Mismatch"},
    {-1380, "Communication Packet Corrupt"},
    {-2100, "Server Failure"},
    {-2110, "Server Configuration Failure"},
    {-1240, "Error Appending Information to Log File"},
    {-2120, "Catalog Failure"},
    {-970, "Data Structure Corrupt or not Initialized"},
};

std::atomic<ERROR4HOOK> errorHook{nullptr};

} // namespace

const char* error4text(int code) {
    for (const auto& e : errorTexts)
        if (e.code == code)
            return e.text;
    return nullptr;
}

void e4hookSet(ERROR4HOOK hook) {
    errorHook = hook;
}

void e4hook(CODE4* c4, int code, int location, const char* s1, const char* s2, const char* s3) {
    // The server shows nothing for engine errors; the hook exists for tests and other programs.
    if (ERROR4HOOK h = errorHook.load())
        h(c4, code, location, s1, s2, s3);
}

int error4raise(CODE4* c4, int code, int location) {
    return error4raiseText(c4, code, location, nullptr);
}

int error4raiseText(CODE4* c4, int code, int location, const char* s1, const char* s2, const char* s3) {
    if (c4) {
        c4->errorLatch = code;
        c4->errorPlace = location;
    }
    e4hook(c4, code, location, s1, s2, s3);
    return code;
}

int error4set(CODE4* c4, int value) {
    if (!c4)
        return e4parmNull;
    const int old = c4->errorLatch;
    c4->errorLatch = value;
    return old;
}

int error4code(const CODE4* c4) {
    return c4 ? c4->errorLatch : e4parmNull;
}

FILE4SYS* code4sys(CODE4* c4) {
    return c4 && c4->sys ? c4->sys : file4sysDefault();
}

int code4init(CODE4* c4, int version) {
    if (!c4)
        return error4raise(nullptr, e4parm, 10101);
    if (version != code4version) {
        char a[11], b[11];
        std::snprintf(a, sizeof a, "%10d", version);
        std::snprintf(b, sizeof b, "%10d", code4version);
        return error4raiseText(c4, e4version, 10102, a, b);
    }
    static_cast<CODE4_ST&>(*c4) = CODE4_ST{};
    pool4processStart();
    c4->autoOpen = 1;
    c4->createErrors = 1;
    c4->errDefaultUnique = r4uniqueContinue;
    c4->exprErrors = 1;
    c4->fieldNameErrors = 1;
    c4->openErrors = 1;
    c4->dataLogDefault = 1;
    c4->createSafety = 1;
    c4->lockWaitHundredths = 100;
    c4->lockTries = -1;
    c4->tagNameErrors = 1;
    c4->logOpen = 1;
    c4->duplicateOpenCheck = 1;
    c4->goErrors = 1;
    c4->unlockAuto = 1;
    c4->indexChecks = 1;
    c4->log.slot = -1;
    c4->log.file.hand = -1;
    std::strcpy(c4->datePicture, "MM/DD/YY");
    c4->initialized = 1;
    return 0;
}

int code4initUndo(CODE4* c4) {
    if (!c4 || !c4->initialized)
        return e4parm;
    if (c4->log.isOpen)
        code4logClose(c4);
    POOL4** pools[] = {&c4->dataMemory,  &c4->dataFileMemory, &c4->lockMemory,
                       &c4->indexMemory, &c4->tagMemory,      &c4->tagFileMemory};
    for (POOL4** p : pools) {
        if (*p)
            pool4drop(*p);
        *p = nullptr;
    }
    u4blockFree(c4->fieldBuffer);
    c4->fieldBuffer = nullptr;
    c4->fieldBufferLen = 0;
    u4blockFree(c4->log.buffer);
    u4blockFree(c4->log.fileName);
    c4->log = LOG4{};
    c4->log.slot = -1;
    c4->log.file.hand = -1;
    c4->initialized = 0;
    return 0;
}

int code4dateFormatSet(CODE4* c4, const char* picture) {
    if (!c4 || !picture)
        return error4raise(c4, e4parmNull, 10103);
    if (std::strlen(picture) >= sizeof c4->datePicture)
        return error4raise(c4, e4parm, 10104);
    std::strcpy(c4->datePicture, picture);
    return 0;
}

const char* code4dateFormat(CODE4* c4) {
    if (!c4) {
        error4raise(nullptr, e4parmNull, 10105);
        return nullptr;
    }
    return c4->datePicture;
}

int code4indexFormat(CODE4*) {
    return 202;
}
