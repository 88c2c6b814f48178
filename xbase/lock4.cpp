#include "lock4.h"

#include "d4data.h"
#include "d4write.h"

#include <cerrno>
#include <fcntl.h>

int dfile4isShared(DATA4FILE* f) {
    return f->file.lowAccessMode == 0 && !f->file.isReadOnly;
}

void code4lockWait(CODE4* c4, int hundredths) {
    // Only sleeps: the wait never takes window messages off the caller's queue.
    code4sys(c4)->sleepHundredths(hundredths);
}

int file4lock(FILEREC4* f, long offset, long len) {
    if (!f)
        return error4raise(nullptr, e4parmNull, 10301);
    CODE4* c4 = f->c4;
    if (offset < 0 || len < 0)
        return error4raise(c4, e4parm, 10302);
    if (len == 0 || f->isReadOnly || f->lowAccessMode != 0)
        return 0;
    if (f->hand < 0)
        return error4raise(c4, e4parm, 10303);
    if (c4->errorLatch < 0)
        return e4context;
    FILE4SYS* sys = code4sys(c4);
    int attempts = c4->lockTries == 0 ? 1 : c4->lockTries;
    for (;;) {
        const int rc = sys->lock(f->hand, offset, len, F_WRLCK);
        if (rc == 0)
            return 0;
        if (rc != -EAGAIN && rc != -EACCES)
            return error4raiseText(c4, e4lock, 10304, f->name);
        if (attempts == 1)
            return r4locked;
        code4lockWait(c4, c4->lockWaitHundredths);
        if (attempts > 1)
            attempts--;
    }
}

int file4unlock(FILEREC4* f, long offset, long len) {
    if (!f)
        return error4raise(nullptr, e4parmNull, 10305);
    if (offset < 0 || len < 0)
        return error4raise(f->c4, e4parm, 10306);
    if (len == 0 || f->isReadOnly || f->lowAccessMode != 0 || f->hand < 0)
        return 0;
    if (code4sys(f->c4)->lock(f->hand, offset, len, F_UNLCK) < 0)
        return error4raiseText(f->c4, e4unlock, 10307, f->name);
    return 0;
}

// ---- what a handle holds ----

int d4lockTestFile(DATA4* d) {
    return !dfile4isShared(d->dataFile) || d->dataFile->fileLockId == d->clientId;
}

int d4lockTestAppend(DATA4* d) {
    return !dfile4isShared(d->dataFile) || d->dataFile->fileLockId == d->clientId ||
           d->dataFile->appendLockId == d->clientId;
}

static LOCK4* findRecordLock(DATA4FILE* df, long n) {
    for (void* p = l4first(&df->lockedRecords); p; p = l4next(&df->lockedRecords, p)) {
        auto* l = static_cast<LOCK4*>(p);
        if (l->recNum == n)
            return l;
        if (l->recNum > n)
            break;
    }
    return nullptr;
}

int d4lockTest(DATA4* d, long n) {
    if (!d)
        return 0;
    if (d4lockTestFile(d))
        return 1;
    const LOCK4* l = findRecordLock(d->dataFile, n);
    return l && l->id1 == d->clientId;
}

static DATA4* handleById(CODE4* c4, int id) {
    for (void* p = l4first(&c4->dataList); p; p = l4next(&c4->dataList, p))
        if (static_cast<DATA4*>(p)->clientId == id)
            return static_cast<DATA4*>(p);
    return nullptr;
}

// A lock held by another handle of this process: the system would grant it again, so the lists decide.
static int ownConflict(DATA4* d, long n, int holderId) {
    CODE4* c4 = d->c4;
    c4->lockedRecord = n;
    DATA4* holder = handleById(c4, holderId);
    c4->lockedAlias = holder ? holder->alias : nullptr;
    c4->lockedUserId = c4->log.isOpen ? c4->log.userId : nullptr;
    c4->lockedNetId = c4->log.isOpen ? c4->log.netId : nullptr;
    if (c4->lockTries < 0)
        return error4raiseText(c4, e4lock, 10308, d->alias); // waiting for ourselves would never end
    return r4locked;
}

static void otherConflict(CODE4* c4, long n) {
    c4->lockedRecord = n;
    c4->lockedAlias = nullptr;
    c4->lockedUserId = nullptr;
    c4->lockedNetId = nullptr;
}

// The system lock on bytes of the data file for record n (0: the append byte or the whole file): 0, the
// error, or r4locked with the holder noted as another process.
static int lockSystemBytes(DATA4* d, long n, long offset, long len) {
    const int rc = file4lock(&d->dataFile->file, offset, len);
    if (rc == r4locked) {
        otherConflict(d->c4, n);
        return r4locked;
    }
    return rc;
}

int d4unlockLow(DATA4* d) {
    DATA4FILE* df = d->dataFile;
    if (!df)
        return 0;
    int first = 0;
    auto keep = [&](int rc) {
        if (rc < 0 && first == 0)
            first = rc;
    };
    const bool held = df->fileLockId == d->clientId || df->appendLockId == d->clientId;
    if (df->fileLockId == d->clientId) {
        keep(file4unlock(&df->file, lock4base, lock4fileLen));
        df->fileLockId = 0;
    }
    if (df->appendLockId == d->clientId) {
        keep(file4unlock(&df->file, lock4appendOffset, 1));
        df->appendLockId = 0;
    }
    if (held && df->fileLockId == 0 && df->appendLockId == 0)
        df->minCount = -1;
    for (void* p = l4first(&df->lockedRecords); p;) {
        auto* l = static_cast<LOCK4*>(p);
        p = l4next(&df->lockedRecords, p);
        if (l->id1 != d->clientId)
            continue;
        keep(file4unlock(&df->file, lock4base + l->recNum, 1));
        l4remove(&df->lockedRecords, l);
        pool4give(d->c4->lockMemory, l);
    }
    keep(d4indexesUnlock(d));
    d->recordOldValid = 0;
    d->recNumOld = -1;
    return first;
}

int d4unlock(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10309);
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    DATA4FILE* df = d->dataFile;
    bool holds = df->fileLockId == d->clientId || df->appendLockId == d->clientId || df->indexLocked;
    for (void* p = l4first(&df->lockedRecords); p && !holds; p = l4next(&df->lockedRecords, p))
        holds = static_cast<LOCK4*>(p)->id1 == d->clientId;
    if (!holds)
        return 0;
    int rc = d4updateRecord(d, 0);
    if (rc != 0)
        return rc;
    if (c4->unlockAuto != 0)
        rc = d4unlockLow(d);
    if (c4->errorLatch < 0)
        return -1;
    return rc;
}

int d4unlockAuto(DATA4* d) {
    CODE4* c4 = d->c4;
    if (c4->unlockAuto == 1) {
        for (void* p = l4first(&c4->dataList); p; p = l4next(&c4->dataList, p)) {
            const int rc = d4unlock(static_cast<DATA4*>(p));
            if (rc < 0)
                return rc;
        }
    } else if (c4->unlockAuto == 2) {
        return d4unlockLow(d);
    }
    return 0;
}

int d4lock(DATA4* d, long n) {
    if (!d || n <= 0)
        return error4raise(d ? d->c4 : nullptr, e4parm, 10310);
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return e4context;
    if (d4lockTest(d, n))
        return 0;
    int rc = d4unlockAuto(d);
    if (rc < 0)
        return rc;
    DATA4FILE* df = d->dataFile;
    if (df->fileLockId && df->fileLockId != d->clientId)
        return ownConflict(d, n, df->fileLockId);
    if (const LOCK4* l = findRecordLock(df, n))
        return ownConflict(d, n, l->id1);
    rc = lockSystemBytes(d, n, lock4base + n, 1);
    if (rc != 0)
        return rc;
    if (!c4->lockMemory)
        c4->lockMemory = pool4create(c4, 5, sizeof(LOCK4), 10, 0);
    auto* lock = static_cast<LOCK4*>(pool4take(c4->lockMemory, c4));
    if (!lock) {
        file4unlock(&df->file, lock4base + n, 1);
        return error4raise(c4, e4memory, 10311);
    }
    lock->id1 = lock->id2 = d->clientId;
    lock->recNum = n;
    void* after = nullptr;
    for (void* p = l4first(&df->lockedRecords); p; p = l4next(&df->lockedRecords, p))
        if (static_cast<LOCK4*>(p)->recNum < n)
            after = p;
    if (after)
        l4addAfter(&df->lockedRecords, after, lock);
    else if (void* first = l4first(&df->lockedRecords))
        l4addBefore(&df->lockedRecords, first, lock);
    else
        l4add(&df->lockedRecords, lock);
    return 0;
}

// The append lock, or (wholeFile) the file lock, for the handle. The record count is read afresh once it is
// held: it cannot change while either lock is held.
static int lockAppendOrFile(DATA4* d, bool wholeFile, int where) {
    if (!d)
        return error4raise(nullptr, e4parm, where);
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return e4context;
    if (wholeFile ? d4lockTestFile(d) : d4lockTestAppend(d))
        return 0;
    if (d4unlockAuto(d) < 0)
        return e4unlock;
    DATA4FILE* df = d->dataFile;
    if (df->fileLockId && df->fileLockId != d->clientId)
        return ownConflict(d, 0, df->fileLockId);
    if (df->appendLockId && df->appendLockId != d->clientId)
        return ownConflict(d, 0, df->appendLockId);
    if (wholeFile)
        for (void* p = l4first(&df->lockedRecords); p; p = l4next(&df->lockedRecords, p))
            if (static_cast<LOCK4*>(p)->id1 != d->clientId)
                return ownConflict(d, static_cast<LOCK4*>(p)->recNum, static_cast<LOCK4*>(p)->id1);
    const int rc =
        wholeFile ? lockSystemBytes(d, 0, lock4base, lock4fileLen) : lockSystemBytes(d, 0, lock4appendOffset, 1);
    if (rc != 0)
        return rc;
    (wholeFile ? df->fileLockId : df->appendLockId) = d->clientId;
    df->minCount = -1;
    d4recCountDo(d);
    return 0;
}

int d4lockAppend(DATA4* d) {
    return lockAppendOrFile(d, false, 10312);
}

int d4lockFile(DATA4* d) {
    return lockAppendOrFile(d, true, 10313);
}
