// Appending a record: the record and its count go to the file before any index file gets the key, and a failed
// append is cut back so that the file keeps whole records and the count that counts them.
#include "d4data.h"

#include "c4conv.h"
#include "d4internal.h"
#include "d4write.h"
#include "lock4.h"

#include <cstring>

namespace {

// The header's version, today's date and record count n.
int writeHeaderCount(DATA4FILE* df, long n) {
    unsigned char head[8];
    head[0] = df->version;
    date4headerDate(head + 1, code4sys(df->c4)->now());
    c4putU32(head + 4, (unsigned long)n);
    return file4write(&df->file, 0, head, 8);
}

// The record count says where the new record goes: it must agree with the file's length (within the one record a
// program may have added without its count yet), or a damaged or foreign header count would make the append write far
// past the end of the file and grow it by the gap. A count this process wrote itself needs no second look.
int checkCountAgainstLength(DATA4* d, long count) {
    DATA4FILE* df = d->dataFile;
    if (count == df->countChecked)
        return 0;
    const long len = file4len(&df->file);
    if (len < 0)
        return int(len);
    const long present = (len - long(df->headerLen)) / long(df->recWidth);
    if (count > present + 1)
        return error4raiseText(d->c4, e4append, 10259, df->file.name);
    df->countChecked = count;
    return 0;
}

// Takes the file back to `count` whole records after a failed append: what reached the file of the new record goes,
// the 0x1A that ends the file comes back and the header counts those records. Straight system calls, each tried
// whatever the one before did: the error that brought us here is latched, and the file layer would refuse.
void cutBackAppend(DATA4FILE* df, long count) {
    FILE4SYS* sys = code4sys(df->c4);
    const long end = long(df->headerLen) + long(df->recWidth) * count;
    (void)sys->truncate(df->file.hand, end);
    const char eof = 0x1A;
    (void)sys->pwrite(df->file.hand, &eof, 1, end);
    unsigned char b[4];
    c4putU32(b, (unsigned long)count);
    (void)sys->pwrite(df->file.hand, b, 4, 4);
}

} // namespace

int d4appendStart(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10222);
    CODE4GUARD guard(d->c4->mutex);
    if (d->c4->errorLatch < 0)
        return e4context;
    int rc = d4updateRecord(d, 0);
    if (rc != 0)
        return rc;
    blankRecordAndMemos(d);
    d->recordChanged = 0;
    // No current record: the field assignments that follow belong to the new record, not to the one stood on.
    d->recNum = -1;
    d->eofFlag = d->bofFlag = 0;
    return 0;
}

int d4append(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10223);
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return e4context;
    DATA4FILE* df = d->dataFile;
    if (d->readOnly)
        return error4raiseText(c4, e4write, 10224, df->file.name);
    // The buffer is the new record from here on: whatever happens, it is never written over the record stood on.
    d->recordChanged = 0;
    // A copy of that record still takes its memo texts: they are read from its entries below.
    const long copiedFrom = d->recNum;
    d->recNum = -1;
    const bool hadAppendLock = d4lockTestAppend(d);
    int rc = 0;
    if (!hadAppendLock) {
        const int oldAuto = c4->unlockAuto;
        c4->unlockAuto = 0;
        rc = d4lockAppend(d);
        c4->unlockAuto = oldAuto;
        if (rc != 0)
            return rc;
    }
    const long count = d4recCountDo(d);
    const long n = count + 1;
    if (count < 0)
        rc = c4->errorLatch < 0 ? c4->errorLatch : -1;
    if (rc == 0)
        rc = checkCountAgainstLength(d, count);
    // Memo texts go to new entries: the buffer may still name the blocks of the record it was copied from.
    for (int i = 0; i < d->nFieldsMemo && rc == 0; i++) {
        F4MEMO* m = &d->fieldsMemo[i];
        if (m->status == 1) {
            // A lock the read may take must not let go of the append lock held from here on.
            const int oldAuto = c4->unlockAuto;
            c4->unlockAuto = 0;
            d->recNum = copiedFrom;
            const int read = f4memoRead(m->field);
            d->recNum = -1;
            c4->unlockAuto = oldAuto;
            if (read < 0)
                m->len = 0;
        }
        FIELD4* f = m->field;
        std::memset(d->record + f->offset, ' ', f->len);
        m->isChanged = 1;
        rc = f4memoFlush(f);
    }
    // The index files are locked and marked as being changed before the record goes out, and a unique tag's refusal
    // is known before anything is written: a stop anywhere from here on leaves either nothing or a marked index.
    int tagsLocked = 0;
    if (rc == 0)
        rc = d4appendKeysBegin(d, &tagsLocked);
    const bool keysBegun = rc == 0;
    if (rc == 0) {
        // The record, then the count that makes it part of the table: one write each.
        const long pos = long(df->headerLen) + long(df->recWidth) * count;
        d->record[df->recWidth] = 0x1A;
        rc = file4write(&df->file, pos, d->record, df->recWidth + 1);
        d->record[df->recWidth] = 0;
        if (rc == 0)
            rc = writeHeaderCount(df, n);
        if (rc == 0) {
            df->fileChanged = 1;
            df->numRecs = n;
            df->countChecked = n;
            if (df->minCount >= 0 || !dfile4isShared(df))
                df->minCount = n;
            d->count = n;
            // Only now that the record is in the file and counted do the index files get its key.
            rc = d4appendKeys(d, n);
        }
        if (rc != 0) {
            cutBackAppend(df, count);
            df->numRecs = count;
            df->countChecked = -1;
            if (df->minCount >= 0)
                df->minCount = count;
            d->count = count;
        }
    }
    if (keysBegun)
        rc = d4keysEnd(d, tagsLocked, rc);
    if (rc == 0) {
        d->recNum = n;
        d->eofFlag = d->bofFlag = 0;
        std::memcpy(d->recordOld, d->record, df->recWidth);
        d->recNumOld = n;
        d->recordOldValid = 1;
    }
    if (!hadAppendLock && dfile4isShared(df) && d->dataFile->appendLockId == d->clientId) {
        file4unlock(&df->file, lock4appendOffset, 1);
        df->appendLockId = 0;
        df->minCount = -1;
    }
    return rc;
}
