// Record write: the data and, through the index layer, the keys of every tag; the checks and changes of the record
// buffer before it is written, and the flush that puts what was written on disk.
#include "d4write.h"

#include "c4conv.h"
#include "d4data.h"
#include "d4internal.h"
#include "lock4.h"

#include <cstring>

int d4write(DATA4* d, long n) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 12301);
    CODE4* c4 = d->c4;
    if (n < -1 || n == 0)
        return error4raise(c4, e4parm, 12302);
    if (n == -1)
        n = d->recNum;
    if (c4->errorLatch < 0)
        return e4context;
    if (d->readOnly || n > d4recCountDo(d))
        return error4raiseText(c4, e4write, 12303, d->dataFile->file.name);
    if (!d4lockTest(d, n)) {
        const int rc = d4lock(d, n);
        if (rc != 0)
            return rc;
    }
    if (!l4first(&d->indexes))
        return d4writeData(d, n);
    // The keys change first (a unique tag may refuse the write), the data follows while the index lock and the index
    // files' being-changed marks are still held: a stop in between leaves a marked index, never a silent one.
    int locked = 0;
    if (const int rc = d4writeKeysBegin(d, n, &locked); rc != 0)
        return rc;
    int rc = d4writeData(d, n);
    if (rc < 0)
        d4unwriteKeys(d, n);
    rc = d4keysEnd(d, locked, rc < 0 ? rc : 0);
    return rc < 0 ? rc : 0;
}

// ---- record writing ----

int d4writeData(DATA4* d, long n) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 12305);
    if (n <= 0)
        return error4raise(d->c4, e4parm, 12306);
    DATA4FILE* df = d->dataFile;
    const int rc = file4write(&df->file, long(df->headerLen) + long(df->recWidth) * (n - 1), d->record, df->recWidth);
    if (rc == 0)
        df->fileChanged = 1;
    return rc;
}

int d4updateRecord(DATA4* d, int doUnlock) {
    CODE4* c4 = d->c4;
    if (d->recNum > 0 && d->recordChanged && !d->eofFlag) {
        int rc = d4memoFlush(d);
        // Off while writing: locking the record may release this handle's other locks, and that release must not
        // write the same record again.
        d->recordChanged = 0;
        if (rc == 0)
            rc = d4write(d, d->recNum);
        if (rc != 0) {
            d->recordChanged = 1;
            return rc;
        }
        d4memoReset(d);
        std::memcpy(d->recordOld, d->record, d->dataFile->recWidth);
        d->recNumOld = d->recNum;
        d->recordOldValid = 1;
    }
    if (doUnlock && c4->unlockAuto && !d4lockTestFile(d))
        return d4unlockLow(d);
    return 0;
}

int d4updateHeader(DATA4* d, int doTimeStamp, int doCount) {
    DATA4FILE* df = d->dataFile;
    unsigned char head[8];
    head[0] = df->version;
    date4headerDate(head + 1, code4sys(d->c4)->now());
    c4putU32(head + 4, (unsigned long)df->numRecs);
    if (doCount)
        return file4write(&df->file, 0, head, 8);
    if (doTimeStamp)
        return file4write(&df->file, 0, head, 4);
    return 0;
}

int d4writeCheck(DATA4* d) {
    CODE4* c4 = d->c4;
    if (c4->errorLatch < 0)
        return e4context;
    if (c4->lockBeforeWrite && d->recNum > 0 && !d4lockTest(d, d->recNum))
        return error4raiseText(c4, e4lock, 10233, d->alias);
    return 0;
}

int d4blank(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10234);
    const int rc = d4writeCheck(d);
    if (rc != 0)
        return rc;
    blankRecordAndMemos(d);
    d->recordChanged = 1;
    return 0;
}

int d4changed(DATA4* d, int flag) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10235);
    const int old = d->recordChanged;
    if (flag > 0 && d->c4->lockBeforeWrite && d->recNum > 0 && !d4lockTest(d, d->recNum))
        return error4raiseText(d->c4, e4lock, 10236, d->alias);
    if (flag >= 0)
        d->recordChanged = flag > 0;
    return old;
}

int d4flush(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10237);
    CODE4GUARD guard(d->c4->mutex);
    int first = 0;
    auto keep = [&](int rc) {
        if (rc < 0 && first == 0)
            first = rc;
    };
    // A record write refused by a lock or a unique tag is reported too: nothing of the record reached the file.
    const int written = d4updateRecord(d, 0);
    keep(written);
    keep(file4flush(&d->dataFile->file));
    if (d->dataFile->memoFile.isOpen)
        keep(file4flush(&d->dataFile->memoFile.file));
    keep(d4indexesFlush(d));
    return first < 0 ? first : written;
}

void d4delete(DATA4* d) {
    if (d && d4writeCheck(d) == 0 && d->record[0] != '*') {
        d->record[0] = '*';
        d->recordChanged = 1;
    }
}

void d4recall(DATA4* d) {
    if (d && d4writeCheck(d) == 0 && d->record[0] != ' ') {
        d->record[0] = ' ';
        d->recordChanged = 1;
    }
}

// d4writeKeys, d4unwriteKeys and d4appendKeys belong to the index layer (i4keys.cpp), as do d4indexes* (i4index.cpp)
// and d4skipTag (i4seek.cpp).
