// Seeking and skipping in tag order, and the first and last record of a tag.
#include "t4internal.h"

#include "d4write.h"
#include "i4internal.h"
#include "lock4.h"

#include <cstring>
#include <vector>

namespace {

int seekKey(DATA4* d, TAG4* tag, const unsigned char* key, int cmpLen) {
    CODE4* c4 = d->c4;
    TAG4FILE* t = tag->tagFile;
    int rc = tfile4seek(t, key, cmpLen);
    if (rc < 0)
        return rc;
    const long count = d4recCountDo(d);
    if (count < 0)
        return -1;
    std::vector<unsigned char> recKey(static_cast<size_t>(t4keyLen(t)));
    bool stepped = false;
    const long limit = tfile4entryLimit(t);
    for (long steps = 0;; ++steps) {
        if (steps > limit)
            return t4corrupt(t);
        if (tfile4eof(t))
            return d4goEof(d);
        const long rec = tfile4recNo(t);
        if (rec < 1 || rec > count) {
            // Entries of records beyond the count (an append in progress elsewhere) are stepped over.
            if (tfile4skip(t, 1) != 1)
                return d4goEof(d);
            stepped = true;
            continue;
        }
        const int go = d4go(d, rec);
        if (go != 0)
            return go;
        if (d4lockTestFile(d) && dfile4isShared(d->dataFile))
            return rc;
        // The entry must still describe the record: another program may have changed it since.
        const int pass = tfile4exprKey(t, d->record, recKey.data());
        if (pass < 0)
            return pass;
        const unsigned char* entry = tfile4key(t);
        if (entry && std::memcmp(entry, recKey.data(), recKey.size()) == 0 && pass) {
            if (!stepped)
                return rc;
            const int c = std::memcmp(recKey.data(), key, static_cast<size_t>(cmpLen));
            if (c == 0)
                return 0;
            if (c > 0)
                return r4after;
        }
        if (tfile4skip(t, 1) != 1)
            return d4goEof(d);
        stepped = true;
        (void)c4;
    }
}

// Positions the tag on the entry of the handle's current record; 0, or 1 when it has none.
int tagToRecord(DATA4* d, TAG4FILE* t) {
    if (d->recNum < 1 || d->eofFlag)
        return 1;
    if (!t->path.empty() && tfile4recNo(t) == d->recNum)
        return 0;
    std::vector<unsigned char> key(static_cast<size_t>(t4keyLen(t)));
    int pass = tfile4exprKey(t, d->record, key.data());
    if (pass < 0)
        return pass;
    return tfile4go(t, key.data(), d->recNum);
}

int goTagPosition(DATA4* d, TAG4FILE* t) {
    if (tfile4eof(t))
        return d4goEof(d);
    return d4go(d, tfile4recNo(t));
}

// Readies a tag for a seek or a walk to either end: a changed record goes out (with its keys) first, the tag
// reads through this handle's data file, and it is read afresh when another handle changed the index.
// 0, or the error that ends the call.
int readyTag(DATA4* d, TAG4FILE* t) {
    if (int rc = d4updateRecord(d, 1); rc != 0)
        return rc;
    tfile4bind(t, d);
    if (int rc = tfile4doVersionCheck(t, 0, 1); rc < 0)
        return rc;
    return 0;
}

// The default tag, readied for a seek; the caller holds the lock. 0, or what the seek returns at once: -1
// after an earlier error, r4noTag without a tag, or the error.
int seekTag(DATA4* d, TAG4** tag) {
    if (d->c4->errorLatch < 0)
        return -1;
    *tag = d4tagDefault(d);
    if (!*tag)
        return r4noTag;
    return readyTag(d, (*tag)->tagFile);
}

// The first record (last: the last) in the default tag's order; without a tag, in record order.
int tagEnd(DATA4* d, bool last) {
    TAG4* tag = d ? d4tagDefault(d) : nullptr;
    if (!tag)
        return d ? (last ? d4bottom(d) : d4top(d)) : e4parmNull;
    CODE4GUARD guard(d->c4->mutex);
    TAG4FILE* t = tag->tagFile;
    if (int rc = readyTag(d, t); rc != 0)
        return rc;
    // A descending tag keeps its keys the other way round in the file.
    int rc = (t->descending != 0) != last ? tfile4bottom(t) : tfile4top(t);
    if (rc < 0)
        return rc;
    return goTagPosition(d, t);
}

// An unlocked seek that did not find its key looks again when the index changed while it read: a writer's pages may
// have been half in the file, and the version written after them tells.
int seekChecked(DATA4* d, TAG4* tag, const unsigned char* key, int cmpLen) {
    TAG4FILE* t = tag->tagFile;
    for (int tries = 0;; ++tries) {
        const int rc = seekKey(d, tag, key, cmpLen);
        if (rc <= 0 || rc == r4locked || tries >= 20 || tfile4lockedOrExclusive(t))
            return rc;
        const int current = tfile4current(t);
        if (current != 0)
            return current < 0 ? current : rc;
        if (int r = tfile4doVersionCheck(t, 0, 1); r < 0)
            return r;
    }
}

} // namespace

int d4seekN(DATA4* d, const char* text, int len) {
    if (!d || !text)
        return error4raise(d ? d->c4 : nullptr, e4parmNull, loc4seek);
    CODE4GUARD guard(d->c4->mutex);
    TAG4* tag = nullptr;
    if (int rc = seekTag(d, &tag); rc != 0)
        return rc;
    TAG4FILE* t = tag->tagFile;
    if (len <= 0)
        len = static_cast<int>(std::strlen(text));
    std::vector<unsigned char> key(static_cast<size_t>(t4keyLen(t)));
    int cmpLen = tfile4seekConvert(t, text, len, key.data());
    if (t->keyType != 'C')
        cmpLen = t4keyLen(t);
    return seekChecked(d, tag, key.data(), cmpLen);
}

int d4seek(DATA4* d, const char* text) {
    return d4seekN(d, text, text ? static_cast<int>(std::strlen(text)) : 0);
}

int d4seekDouble(DATA4* d, double value) {
    if (!d)
        return error4raise(nullptr, e4parmNull, loc4seek);
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    TAG4* tag = nullptr;
    if (int rc = seekTag(d, &tag); rc != 0)
        return rc;
    TAG4FILE* t = tag->tagFile;
    const int kl = t4keyLen(t);
    std::vector<unsigned char> key(static_cast<size_t>(kl) + 1);
    if (t->keyType == 'N') {
        c4doubleToKey(value, reinterpret_cast<char*>(key.data()), kl, t->header.keyDec);
    } else if (t->keyType == 'D') {
        std::memset(key.data(), ' ', key.size());
        date4assign(reinterpret_cast<char*>(key.data()), value >= 1 ? static_cast<long>(value) : 0);
    } else {
        return error4raise(c4, e4tagInfo, loc4seek);
    }
    return seekChecked(d, tag, key.data(), kl);
}

int d4tagTop(DATA4* d) {
    return tagEnd(d, false);
}

int d4tagBottom(DATA4* d) {
    return tagEnd(d, true);
}

int d4skipTag(DATA4* d, long n) {
    TAG4FILE* t = d->tagSelected->tagFile;
    tfile4bind(t, d);
    if (int rc = d4updateRecord(d, 1); rc != 0)
        return rc;
    if (int rc = tfile4doVersionCheck(t, 1, 1); rc < 0)
        return rc;
    if (d->eofFlag || d->recNum < 1) {
        if (n >= 0)
            return d->eofFlag ? r4eof : d4tagTop(d);
        // Back from the end of the file: the last key in tag order, then the rest of the way.
        int rc = d4tagBottom(d);
        if (rc != 0 || n == -1)
            return rc;
        ++n;
    }
    int rc = tagToRecord(d, t);
    if (rc < 0)
        return rc;
    if (rc != 0)
        return d4goEof(d);
    const long moved = tfile4skip(t, n);
    if (moved == -n && n != 0)
        return -1;
    if (moved != n) {
        if (n > 0)
            return d4goEof(d);
        rc = goTagPosition(d, t);
        d->bofFlag = 1;
        return rc;
    }
    return goTagPosition(d, t);
}
