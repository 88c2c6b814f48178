// Moving about a data handle's records in record order (go, top, bottom, skip, end of file), the record count,
// reading a record afresh, and what the handle stands on.
#include "d4data.h"

#include "c4conv.h"
#include "d4internal.h"
#include "d4write.h"
#include "lock4.h"
#include "t4tag.h"

#include <cstring>

long d4recCountDo(DATA4* d) {
    DATA4FILE* df = d->dataFile;
    if (df->minCount >= 0 && (!dfile4isShared(df) || d4lockTestAppend(d) || d4lockTestFile(d)))
        return d->count = df->minCount;
    unsigned char b[4];
    if (file4readAll(&df->file, 4, b, 4) < 0)
        return -1;
    long n = c4readI32(b);
    if (n < 0)
        n = 0;
    df->numRecs = n;
    if (!dfile4isShared(df) || d4lockTestAppend(d) || d4lockTestFile(d))
        df->minCount = n;
    return d->count = n;
}

long d4recCount(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10225);
    if (d->c4->errorLatch < 0)
        return e4context;
    CODE4GUARD guard(d->c4->mutex);
    return d4recCountDo(d);
}

static int readRecord(DATA4* d, long n) {
    DATA4FILE* df = d->dataFile;
    const long pos = long(df->headerLen) + long(df->recWidth) * (n - 1);
    return file4read(&df->file, pos, d->record, df->recWidth) == df->recWidth ? 0 : -1;
}

static int goFailed(DATA4* d) {
    CODE4* c4 = d->c4;
    d->recNum = -1;
    blankRecord(d);
    d4memoReset(d);
    if (c4->errorLatch < 0)
        return c4->errorLatch;
    if (c4->goErrors)
        return error4raiseText(c4, e4read, 10226, d->alias);
    return r4entry;
}

int d4go(DATA4* d, long n) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10227);
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return e4context;
    int rc = d4updateRecord(d, 0);
    if (rc != 0)
        return rc;
    if (n > d->count)
        d4recCountDo(d);
    if (c4->errorLatch < 0)
        return c4->errorLatch;
    if (n < 1 || n > d->count)
        return goFailed(d);
    bool lockedHere = false;
    if (!d4lockTest(d, n)) {
        rc = d4unlockAuto(d);
        if (rc < 0)
            return rc;
        if (c4->lockOnRead) {
            rc = d4lock(d, n);
            if (rc != 0)
                return rc;
            lockedHere = true;
        }
    }
    if (readRecord(d, n) != 0) {
        if (lockedHere)
            d4unlockLow(d);
        return goFailed(d);
    }
    d->recNum = n;
    d->eofFlag = d->bofFlag = 0;
    d->recordChanged = 0;
    d4memoReset(d);
    if (d4lockTest(d, n)) {
        std::memcpy(d->recordOld, d->record, d->dataFile->recWidth);
        d->recNumOld = n;
        d->recordOldValid = 1;
    }
    return 0;
}

int d4goEof(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10228);
    CODE4GUARD guard(d->c4->mutex);
    int rc = d4updateRecord(d, 1);
    if (rc != 0)
        return rc;
    const long count = d4recCountDo(d);
    if (count < 0)
        return d->c4->errorLatch < 0 ? d->c4->errorLatch : -1;
    d->eofFlag = 1;
    d->recNum = count + 1;
    if (count == 0)
        d->bofFlag = 1;
    blankRecord(d);
    d4memoReset(d);
    return r4eof;
}

int d4top(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10229);
    CODE4GUARD guard(d->c4->mutex);
    if (d->tagSelected)
        return d4tagTop(d);
    if (d4recCountDo(d) <= 0)
        return d4goEof(d);
    return d4go(d, 1);
}

int d4bottom(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10230);
    CODE4GUARD guard(d->c4->mutex);
    if (d->tagSelected)
        return d4tagBottom(d);
    const long count = d4recCountDo(d);
    if (count <= 0)
        return d4goEof(d);
    return d4go(d, count);
}

int d4skip(DATA4* d, long n) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10231);
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return e4context;
    if (d->tagSelected)
        return d4skipTag(d, n);
    const long count = d4recCountDo(d);
    long target = (d->recNum < 1 ? (n >= 0 ? 0 : count + 1) : d->recNum) + n;
    if (d->eofFlag && n >= 0)
        return r4eof;
    if (target > count)
        return d4goEof(d);
    if (target < 1) {
        if (count <= 0)
            return d4goEof(d);
        const int rc = d4go(d, 1);
        d->bofFlag = 1;
        return rc;
    }
    return d4go(d, target);
}

long d4recNo(DATA4* d) {
    return d ? d->recNum : -1;
}
int d4bof(DATA4* d) {
    return d ? d->bofFlag : e4parmNull;
}
int d4eof(DATA4* d) {
    return d ? d->eofFlag : e4parmNull;
}
char* d4record(DATA4* d) {
    return d ? d->record : nullptr;
}
unsigned d4recWidth(DATA4* d) {
    return d ? d->dataFile->recWidth : 0;
}
const char* d4alias(DATA4* d) {
    return d ? d->alias : nullptr;
}
int d4numFields(DATA4* d) {
    return d ? d->nFields : e4parmNull;
}
int d4deleted(DATA4* d) {
    return d && d->record[0] == '*';
}

int d4refreshRecord(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parm, 10232);
    CODE4GUARD guard(d->c4->mutex);
    if (d->recNum < 1 || d->recNum > d->count)
        return 0;
    if (d4lockTestFile(d) && dfile4isShared(d->dataFile)) {
        d->recordChanged = 0;
        return d4go(d, d->recNum);
    }
    d->recordChanged = 0;
    d4memoReset(d);
    if (readRecord(d, d->recNum) != 0)
        return goFailed(d);
    if (d4lockTest(d, d->recNum)) {
        std::memcpy(d->recordOld, d->record, d->dataFile->recWidth);
        d->recNumOld = d->recNum;
        d->recordOldValid = 1;
    }
    return 0;
}
