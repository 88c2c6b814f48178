// Keeping every tag's keys when records are written or appended: the old keys out and the new ones in (put
// back when a unique tag refuses), under the index lock of shared files and their being-changed marks.
#include "t4internal.h"

#include "d4write.h"
#include "i4internal.h"

#include <cstring>
#include <vector>

namespace {

// The old image of record n for its old keys: the copy read under its lock, else the record as it is in the file.
const char* oldRecord(DATA4* d, long n, std::vector<char>& buf) {
    DATA4FILE* df = d->dataFile;
    if (d->recordOldValid && d->recNumOld == n)
        return d->recordOld;
    buf.assign(df->recWidth + 1, ' ');
    const long pos = static_cast<long>(df->headerLen) + static_cast<long>(df->recWidth) * (n - 1);
    if (file4readAll(&df->file, pos, buf.data(), df->recWidth) < 0)
        return nullptr;
    return buf.data();
}

// A tag's keys of a record's old and new image, and whether each passes the tag's filter (< 0: the key could not
// be made).
struct KEYS4 {
    KEYS4(TAG4* tagIn, const char* oldRecord, const char* newRecord)
        : tag(tagIn), oldKey(static_cast<size_t>(t4keyLen(tagIn->tagFile))), newKey(oldKey.size()) {
        oldPass = tfile4exprKey(tag->tagFile, oldRecord, oldKey.data());
        newPass = tfile4exprKey(tag->tagFile, newRecord, newKey.data());
    }
    int error() const { return oldPass < 0 ? oldPass : newPass < 0 ? newPass : 0; }
    bool unchanged() const { return oldPass == newPass && oldKey == newKey; }

    TAG4* tag;
    std::vector<unsigned char> oldKey, newKey;
    int oldPass, newPass;
};

// Runs f(tag, tag file) on every tag, its expressions bound to the handle, until one gives a result other than 0;
// returns that result.
template <class F> int eachBoundTagUntilFailure(DATA4* d, F f) {
    int result = 0;
    forEachTag(d, [&](TAG4* tag) {
        if (result != 0)
            return;
        tfile4bind(tag->tagFile, d);
        result = f(tag, tag->tagFile);
    });
    return result;
}

// Every index file of the handle keeps its being-changed mark: the next open builds its keys again.
void keepMarks(DATA4* d) {
    forEachTag(d, [](TAG4* tag) { tag->tagFile->keepMark = 1; });
}

int lockTagsFor(DATA4* d, bool& lockedHere) {
    lockedHere = false;
    // Index files that are not shared need no lock (and no flush after every change).
    bool shared = false;
    for (void* p = l4first(&d->dataFile->tagfiles); p; p = l4next(&d->dataFile->tagfiles, p)) {
        auto* t = static_cast<TAG4FILE*>(p);
        shared = shared || (t->file.lowAccessMode == 0 && !t->file.isReadOnly);
    }
    if (!shared)
        return 0;
    if (d->dataFile->indexLocked)
        return d->dataFile->indexLocked == d->clientId ? 0 : r4locked;
    int rc = d4indexesLock(d);
    if (rc == 0)
        lockedHere = true;
    return rc;
}

// Ends a key change: lets go of the tag lock when the change took it itself. The change's own result holds
// over a failed unlock.
int releaseTagLock(DATA4* d, bool lockedHere, int result) {
    if (lockedHere) {
        const int r = d4indexesUnlock(d);
        if (result == 0 && r < 0)
            result = r;
    }
    return result;
}

// Puts the old keys back in the tags already changed (after a refusal or a failed data write).
void undoKeys(std::vector<KEYS4>& done, long n) {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
        TAG4FILE* t = it->tag->tagFile;
        if (it->newPass)
            tfile4removeKey(t, it->newKey.data(), n);
        if (it->oldPass)
            tfile4add(t, it->oldKey.data(), n, 0);
    }
}

} // namespace

// --- keys of a record write ---

int d4writeKeysBegin(DATA4* d, long n, int* locked) {
    *locked = 0;
    CODE4* c4 = d->c4;
    std::vector<char> oldBuf;
    const char* old = oldRecord(d, n, oldBuf);
    if (!old)
        return -1;
    if (std::memcmp(old, d->record, d->dataFile->recWidth) == 0)
        return 0;
    std::vector<KEYS4> done;
    bool lockedHere = false, triedLock = false;
    const int result = eachBoundTagUntilFailure(d, [&](TAG4* tag, TAG4FILE* t) {
        KEYS4 k(tag, old, d->record);
        if (const int r = k.error(); r != 0)
            return r;
        if (k.unchanged())
            return 0;
        if (!triedLock) {
            triedLock = true;
            if (const int r = lockTagsFor(d, lockedHere); r != 0)
                return r;
        }
        if (k.oldPass) {
            if (const int r = tfile4removeKey(t, k.oldKey.data(), n); r < 0)
                return r;
        }
        if (k.newPass) {
            const int r = tfile4add(t, k.newKey.data(), n, t4unique(tag));
            if (r == r4unique || r == e4unique) {
                // Refused: every tag gets its old key back and the write does not happen.
                const int latched = error4set(c4, 0);
                if (k.oldPass)
                    tfile4add(t, k.oldKey.data(), n, 0);
                undoKeys(done, n);
                error4set(c4, latched);
                return r;
            }
            if (r == r4uniqueContinue)
                k.newPass = 0; // the duplicate was not added: nothing to take back for it
            else if (r < 0)
                return r;
        }
        done.push_back(std::move(k));
        return 0;
    });
    if (result != 0)
        return releaseTagLock(d, lockedHere, result);
    *locked = lockedHere;
    return 0;
}

int d4writeKeys(DATA4* d, long n) {
    int locked = 0;
    const int rc = d4writeKeysBegin(d, n, &locked);
    return rc != 0 ? rc : d4keysEnd(d, locked, 0);
}

int d4keysEnd(DATA4* d, int locked, int result) {
    return releaseTagLock(d, locked != 0, result);
}

int d4unwriteKeys(DATA4* d, long n) {
    std::vector<char> oldBuf;
    const char* old = oldRecord(d, n, oldBuf);
    if (!old)
        return -1;
    int rc = 0;
    forEachTag(d, [&](TAG4* tag) {
        const KEYS4 k(tag, old, d->record);
        if (k.error() != 0) {
            rc = -1;
            return;
        }
        if (k.unchanged())
            return;
        if (k.newPass && tfile4removeKey(tag->tagFile, k.newKey.data(), n) < 0)
            rc = -1;
        if (k.oldPass && tfile4add(tag->tagFile, k.oldKey.data(), n, 0) < 0)
            rc = -1;
    });
    // Keys that could not be put back leave the index out of step with the record: its mark stays for the next open.
    if (rc != 0)
        keepMarks(d);
    return rc;
}

int d4appendKeysBegin(DATA4* d, int* locked) {
    *locked = 0;
    if (!l4first(&d->indexes))
        return 0;
    CODE4* c4 = d->c4;
    bool lockedHere = false;
    if (int r = lockTagsFor(d, lockedHere); r != 0)
        return r;
    const int result = eachBoundTagUntilFailure(d, [&](TAG4* tag, TAG4FILE* t) {
        if (tfile4markChanging(t) < 0)
            return -1;
        const int mode = t4unique(tag);
        if (mode != r4unique && mode != e4unique)
            return 0;
        // A tag that refuses a duplicate refuses the append before the record is written.
        std::vector<unsigned char> key(static_cast<size_t>(t4keyLen(t)));
        const int pass = tfile4exprKey(t, d->record, key.data());
        if (pass <= 0)
            return pass;
        const int saveDesc = t->descending;
        t->descending = 0;
        const int found = tfile4seek(t, key.data(), t4keyLen(t));
        t->descending = saveDesc;
        if (found < 0)
            return found;
        if (found == 0)
            return mode == e4unique ? error4raiseText(c4, e4unique, loc4add, t->alias) : r4unique;
        return 0;
    });
    if (result != 0)
        return releaseTagLock(d, lockedHere, result);
    *locked = lockedHere;
    return 0;
}

int d4appendKeys(DATA4* d, long n) {
    const int result = eachBoundTagUntilFailure(d, [&](TAG4* tag, TAG4FILE* t) {
        std::vector<unsigned char> key(static_cast<size_t>(t4keyLen(t)));
        const int pass = tfile4exprKey(t, d->record, key.data());
        const int r = pass > 0 ? tfile4add(t, key.data(), n, t4unique(tag)) : pass;
        // Checked under the lock before the record was written, a refusal here means the tree is not what it
        // should be: its mark stays, and the next open builds the keys again.
        if (r < 0)
            return r;
        return r == r4unique ? e4unique : 0;
    });
    // The record is taken back out of the file: keys already added for it must go too, and the next open does that
    // by building every key again (the mark stays on each index file).
    if (result != 0)
        keepMarks(d);
    return result;
}
