// Index files of a data handle (NTX tags and group files), seeking and skipping in tag order, making an NTX
// file, and keeping every tag's keys when records are written or appended.
#include "t4internal.h"

#include "d4write.h"
#include "lock4.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The tag's expressions evaluate for the handle that uses it (several handles may share one tag file).
void tfile4bind(TAG4FILE *t, DATA4 *d) {
    if (t->data == d)
        return;
    expr4context(t->expr, d);
    if (t->filter)
        expr4context(t->filter, d);
    t->data = d;
}

template <class F> void forEachTag(DATA4 *d, F f) {
    for (void *ip = l4first(&d->indexes); ip; ip = l4next(&d->indexes, ip)) {
        auto *index = static_cast<INDEX4 *>(ip);
        for (void *tp = l4first(&index->tags); tp; tp = l4next(&index->tags, tp))
            f(static_cast<TAG4 *>(tp));
    }
}

bool hasExtension(const char *name, const char *ext) {
    const char *slash = std::strrchr(name, '/');
    const char *dot = std::strrchr(name, '.');
    if (!dot || (slash && dot < slash))
        return ext == nullptr;
    return ext && std::strcmp(dot + 1, ext) == 0;
}

INDEX4 *newIndex(DATA4 *d, const char *name) {
    auto *index = new INDEX4;
    index->data = d;
    index->c4 = d->c4;
    u4ncpy(index->name, name, sizeof index->name);
    l4add(&d->indexes, index);
    return index;
}

void freeIndex(DATA4 *d, INDEX4 *index) {
    l4remove(&d->indexes, index);
    delete index;
}

int closeTags(INDEX4 *index) {
    DATA4 *d = index->data;
    int rc = 0;
    while (auto *tag = static_cast<TAG4 *>(l4first(&index->tags))) {
        if (d->tagSelected == tag)
            d->tagSelected = nullptr;
        l4remove(&index->tags, tag);
        const int r = tfile4close(tag->tagFile);
        if (r < 0)
            rc = r;
        delete tag;
    }
    return rc;
}

// The old image of record n for its old keys: the copy read under its lock, else the record as it is in the file.
const char *oldRecord(DATA4 *d, long n, std::vector<char> &buf) {
    DATA4FILE *df = d->dataFile;
    if (d->recordOldValid && d->recNumOld == n)
        return d->recordOld;
    buf.assign(df->recWidth + 1, ' ');
    const long pos = static_cast<long>(df->headerLen) + static_cast<long>(df->recWidth) * (n - 1);
    if (file4readAll(&df->file, pos, buf.data(), df->recWidth) < 0)
        return nullptr;
    return buf.data();
}

struct KEYS4 {
    TAG4 *tag;
    std::vector<unsigned char> oldKey, newKey;
    int oldPass, newPass;
};

int lockTagsFor(DATA4 *d, bool &lockedHere) {
    lockedHere = false;
    // Index files that are not shared need no lock (and no flush after every change).
    bool shared = false;
    for (void *p = l4first(&d->dataFile->tagfiles); p; p = l4next(&d->dataFile->tagfiles, p)) {
        auto *t = static_cast<TAG4FILE *>(p);
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
int releaseTagLock(DATA4 *d, bool lockedHere, int result) {
    if (lockedHere) {
        const int r = d4indexesUnlock(d);
        if (result == 0 && r < 0)
            result = r;
    }
    return result;
}

// Puts the old keys back in the tags already changed (after a refusal or a failed data write).
void undoKeys(std::vector<KEYS4> &done, long n) {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
        TAG4FILE *t = it->tag->tagFile;
        if (it->newPass)
            tfile4removeKey(t, it->newKey.data(), n);
        if (it->oldPass)
            tfile4add(t, it->oldKey.data(), n, 0);
    }
}

int seekKey(DATA4 *d, TAG4 *tag, const unsigned char *key, int cmpLen) {
    CODE4* c4 = d->c4;
    TAG4FILE *t = tag->tagFile;
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
        const unsigned char *entry = tfile4key(t);
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
int tagToRecord(DATA4 *d, TAG4FILE *t) {
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

int goTagPosition(DATA4 *d, TAG4FILE *t) {
    if (tfile4eof(t))
        return d4goEof(d);
    return d4go(d, tfile4recNo(t));
}

// Readies a tag for a seek or a walk to either end: a changed record goes out (with its keys) first, the tag
// reads through this handle's data file, and it is read afresh when another handle changed the index.
// 0, or the error that ends the call.
int readyTag(DATA4 *d, TAG4FILE *t) {
    if (int rc = d4updateRecord(d, 1); rc != 0)
        return rc;
    tfile4bind(t, d);
    if (int rc = tfile4doVersionCheck(t, 0, 1); rc < 0)
        return rc;
    return 0;
}

// The default tag, readied for a seek; the caller holds the lock. 0, or what the seek returns at once: -1
// after an earlier error, r4noTag without a tag, or the error.
int seekTag(DATA4 *d, TAG4 **tag) {
    if (d->c4->errorLatch < 0)
        return -1;
    *tag = d4tagDefault(d);
    if (!*tag)
        return r4noTag;
    return readyTag(d, (*tag)->tagFile);
}

// The first record (last: the last) in the default tag's order; without a tag, in record order.
int tagEnd(DATA4 *d, bool last) {
    TAG4 *tag = d ? d4tagDefault(d) : nullptr;
    if (!tag)
        return d ? (last ? d4bottom(d) : d4top(d)) : -935;
    CODE4GUARD guard(d->c4->mutex);
    TAG4FILE *t = tag->tagFile;
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

TAG4 *i4tag(INDEX4 *index) { return index ? static_cast<TAG4 *>(l4first(&index->tags)) : nullptr; }
const char *t4alias(TAG4 *t) { return t && t->tagFile ? t->tagFile->alias : nullptr; }
EXPR4 *t4expr(TAG4 *t) { return t && t->tagFile ? t->tagFile->expr : nullptr; }

int t4unique(TAG4 *t) {
    if (!t)
        return error4raise(nullptr, -935, loc4index);
    if (!t->tagFile)
        return error4raise(t->index ? t->index->c4 : nullptr, -930, loc4index);
    return t->tagFile->header.unique ? t->errUnique : 0;
}

TAG4 *t4open(DATA4 *d, INDEX4 *index, const char *name) {
    if (!d || !name) {
        error4raise(d ? d->c4 : nullptr, -935, loc4index);
        return nullptr;
    }
    CODE4* c4 = d->c4;
    char base[260];
    u4namePiece(base, sizeof base, name, 0, 0);
    for (char *p = base; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    base[10] = 0;
    const int saveErrors = c4->tagNameErrors;
    c4->tagNameErrors = 0;
    TAG4 *existing = d4tag(d, base);
    c4->tagNameErrors = saveErrors;
    if (existing) {
        error4raiseText(c4, e4instance, loc4index, name);
        return nullptr;
    }
    const bool madeIndex = index == nullptr;
    if (madeIndex)
        index = newIndex(d, name);
    TAG4FILE *tf = tfile4open(d, name);
    if (!tf) {
        if (madeIndex)
            freeIndex(d, index);
        return nullptr;
    }
    auto *tag = new TAG4;
    tag->index = index;
    tag->tagFile = tf;
    tag->errUnique = tf->header.unique ? c4->errDefaultUnique : 0;
    l4add(&index->tags, tag);
    return tag;
}

int t4close(TAG4 *t) {
    if (!t)
        return error4raise(nullptr, -935, loc4index);
    INDEX4 *index = t->index;
    if (l4first(&index->tags) == t && l4last(&index->tags) == t)
        return i4close(index);
    DATA4 *d = index->data;
    int rc = d4updateRecord(d, 0);
    if (d->tagSelected == t)
        d->tagSelected = nullptr;
    l4remove(&index->tags, t);
    const int r = tfile4close(t->tagFile);
    delete t;
    return rc < 0 ? rc : r;
}

INDEX4 *i4open(DATA4 *d, const char *nameIn) {
    if (!d) {
        error4raise(nullptr, -935, loc4index);
        return nullptr;
    }
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return nullptr;
    char name[260];
    if (nameIn) {
        u4ncpy(name, nameIn, sizeof name);
        for (char *p = name; *p; ++p)
            if (*p >= 'a' && *p <= 'z')
                *p = static_cast<char>(*p - 'a' + 'A');
        if (hasExtension(name, "NTX")) {
            TAG4 *tag = t4open(d, nullptr, name);
            return tag ? tag->index : nullptr;
        }
        if (hasExtension(name, nullptr))
            u4nameExt(name, sizeof name, "CGP", 0);
    } else {
        u4ncpy(name, d->dataFile->name, sizeof name);
        u4nameExt(name, sizeof name, "CGP", 1);
    }
    // A group file: a list of NTX files, as text or as counted names.
    INDEX4 *index = newIndex(d, name);
    FILEREC4 group{};
    if (file4open(&group, c4, name, 1) != 0) {
        freeIndex(d, index);
        if (c4->openErrors && c4->errorLatch >= 0)
            error4raiseText(c4, e4open, loc4index, name);
        return nullptr;
    }
    char folder[260];
    u4ncpy(folder, name, sizeof folder);
    char *slash = std::strrchr(folder, '/');
    if (slash)
        slash[1] = 0;
    else
        folder[0] = 0;
    const long len = file4len(&group);
    std::string bytes;
    bool ok = len >= 0 && len <= 65536;
    if (ok) {
        bytes.resize(static_cast<size_t>(len));
        ok = len == 0 || file4readAll(&group, 0, bytes.data(), static_cast<unsigned>(len)) == 0;
    }
    std::vector<std::string> names;
    if (ok && !bytes.empty() && static_cast<unsigned char>(bytes[0]) >= 'A') {
        std::string cur;
        for (char ch : bytes) {
            if (ch == '\t' || ch == '\n' || ch == '\r' || ch == 0x1A || ch == ' ') {
                if (!cur.empty())
                    names.push_back(cur);
                cur.clear();
            } else {
                cur += ch;
            }
        }
        if (!cur.empty())
            names.push_back(cur);
    } else if (ok && !bytes.empty()) {
        const size_t n = static_cast<unsigned char>(bytes[0]);
        size_t pos = 1;
        for (size_t i = 0; i < n && ok; ++i) {
            if (pos + 4 > bytes.size()) {
                ok = false;
                break;
            }
            const uint32_t l = b4get32(reinterpret_cast<const unsigned char *>(bytes.data() + pos));
            pos += 4;
            if (l > 257 || pos + l > bytes.size()) {
                ok = false;
                break;
            }
            names.emplace_back(bytes.data() + pos, l);
            pos += l;
        }
    }
    for (const std::string &n : names) {
        if (!ok)
            break;
        std::string full = std::string(folder) + n;
        if (full.size() > 257 || !t4open(d, index, full.c_str()))
            ok = false;
    }
    file4close(&group);
    if (!ok) {
        closeTags(index);
        freeIndex(d, index);
        if (c4->openErrors && c4->errorLatch >= 0)
            error4raiseText(c4, e4info, loc4index, name);
        return nullptr;
    }
    return index;
}

int i4close(INDEX4 *index) {
    if (!index)
        return error4raise(nullptr, -935, loc4index);
    DATA4 *d = index->data;
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    const int saved = error4set(c4, 0);
    int rc = 0;
    if (int r = d4updateRecord(d, 0); r < 0)
        rc = r;
    const int saveTries = c4->lockTries;
    c4->lockTries = -1;
    if (int r = d4indexesUnlock(d); r < 0)
        rc = r;
    c4->lockTries = saveTries;
    if (int r = closeTags(index); r < 0)
        rc = r;
    freeIndex(d, index);
    if (rc == 0 && saved < 0)
        rc = saved;
    error4set(c4, rc < 0 ? rc : saved);
    return rc;
}

INDEX4 *i4create(DATA4 *d, const char *nameIn, const char *keyExpr, const char *filterExpr, int unique,
                 int descending) {
    if (!d || !nameIn || !keyExpr) {
        error4raise(d ? d->c4 : nullptr, -935, loc4index);
        return nullptr;
    }
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return nullptr;
    EXPR4 *e = expr4parse(d, keyExpr);
    if (!e)
        return nullptr;
    int keyLen = expr4keyLen(e);
    const char type = expr4type(e);
    const int keyDec = type == 'N' ? e->keyDec : (type == 'n' ? c4->expr.decimals : 0);
    expr4free(e);
    if (filterExpr && *filterExpr) {
        EXPR4 *f = expr4parse(d, filterExpr);
        if (!f)
            return nullptr;
        const char ft = expr4type(f);
        expr4free(f);
        if (ft != 'L') {
            error4raiseText(c4, -350, loc4index, filterExpr);
            return nullptr;
        }
    }
    // The largest even key count whose page (slot table and max + 1 entries) fits 1024 bytes; half of it is
    // the least fill of a page.
    int keysMax = keyLen > 0 ? 1022 / (keyLen + 10) - 1 : 0;
    keysMax -= keysMax % 2;
    if (keyLen <= 0 || keyLen > t4maxKeyLen || keysMax < 2 || (type != 'C' && type != 'N' && type != 'n' &&
                                                               type != 'D' && type != 'd') ||
        std::strlen(keyExpr) > 254 || (filterExpr && std::strlen(filterExpr) > 254)) {
        error4raiseText(c4, -350, loc4index, keyExpr);
        return nullptr;
    }
    char name[260];
    u4ncpy(name, nameIn, sizeof name);
    // Like a data file made by the engine, the file takes the case of the name it is given.
    bool lower = false;
    for (const char *p = std::strrchr(name, '/') ? std::strrchr(name, '/') : name; *p; ++p)
        lower = lower || (*p >= 'a' && *p <= 'z');
    u4nameExtKeepCase(name, sizeof name, lower ? "ntx" : "NTX", 0);
    unsigned char page[2 * t4pageSize];
    std::memset(page, 0, sizeof page);
    b4put16(page, 6);
    b4put16(page + 2, 1);
    b4put32(page + 4, t4pageSize);
    b4put32(page + 8, 0);
    b4put16(page + 12, static_cast<unsigned>(keyLen + 8));
    b4put16(page + 14, static_cast<unsigned>(keyLen));
    b4put16(page + 16, static_cast<unsigned>(keyDec));
    b4put16(page + 18, static_cast<unsigned>(keysMax));
    b4put16(page + 20, static_cast<unsigned>(keysMax / 2));
    std::memcpy(page + 22, keyExpr, std::strlen(keyExpr));
    b4put16(page + 277, unique ? 1 : 0);
    b4put16(page + 280, descending ? 1 : 0);
    if (filterExpr)
        std::memcpy(page + 282, filterExpr, std::strlen(filterExpr));
    // The first root: an empty leaf with the fresh slot layout.
    unsigned char *root = page + t4pageSize;
    for (int i = 0; i <= keysMax; ++i)
        b4put16(root + 2 + 2 * i, static_cast<unsigned>(2 * keysMax + 4 + i * (keyLen + 8)));
    FILEREC4 file{};
    if (file4create(&file, c4, name, 1) != 0)
        return nullptr;
    int rc = file4write(&file, 0, page, sizeof page);
    const int rcClose = file4close(&file);
    if (rc < 0 || rcClose < 0)
        return nullptr;
    tfile4openFresh(1);
    INDEX4 *index = i4open(d, name);
    tfile4openFresh(0);
    if (!index)
        return nullptr;
    TAG4 *tag = i4tag(index);
    TAG4FILE *t = tag->tagFile;
    DATA4FILE *df = d->dataFile;
    const long count = d4recCountDo(d);
    std::vector<char> rec(df->recWidth + 1);
    std::vector<unsigned char> key(static_cast<size_t>(keyLen));
    for (long n = 1; n <= count && rc == 0; ++n) {
        const long pos = static_cast<long>(df->headerLen) + static_cast<long>(df->recWidth) * (n - 1);
        if (file4readAll(&df->file, pos, rec.data(), df->recWidth) < 0) {
            rc = -1;
            break;
        }
        const int pass = tfile4exprKey(t, rec.data(), key.data());
        if (pass < 0) {
            rc = pass;
            break;
        }
        if (pass) {
            const int r = tfile4add(t, key.data(), n, t4unique(tag));
            if (r < 0 || r == r4unique)
                rc = r < 0 ? r : -340;
        }
    }
    if (rc == 0)
        rc = t4flush(t);
    if (rc != 0) {
        i4close(index);
        return nullptr;
    }
    return index;
}

// --- the data handle's index files ---

int d4indexesOpen(DATA4 *d, int firstHandle) {
    CODE4* c4 = d->c4;
    DATA4FILE *df = d->dataFile;
    if (!firstHandle) {
        // Another handle has the data file open: this one uses the same tag files.
        for (void *p = l4first(&df->tagfiles); p; p = l4next(&df->tagfiles, p)) {
            auto *tf = static_cast<TAG4FILE *>(p);
            INDEX4 *index = newIndex(d, tf->file.name);
            auto *tag = new TAG4;
            tag->index = index;
            tag->tagFile = tf;
            tag->errUnique = tf->header.unique ? c4->errDefaultUnique : 0;
            ++tf->userCount;
            l4add(&index->tags, tag);
        }
        return 0;
    }
    if (!c4->autoOpen)
        return 0;
    // Only a group file that is there is opened: a table without one opens without indexes.
    char name[260], found[260];
    u4ncpy(name, df->name, sizeof name);
    u4nameExt(name, sizeof name, "CGP", 1);
    if (!u4nameResolve(found, sizeof found, name))
        return 0;
    return i4open(d, name) ? 0 : (c4->errorLatch < 0 ? c4->errorLatch : -1);
}

int d4indexesClose(DATA4 *d) {
    int rc = 0;
    while (auto *index = static_cast<INDEX4 *>(l4first(&d->indexes))) {
        if (int r = closeTags(index); r < 0 && rc == 0)
            rc = r;
        freeIndex(d, index);
    }
    d->tagSelected = nullptr;
    return rc;
}

int d4indexesFlush(DATA4 *d) {
    int rc = 0;
    forEachTag(d, [&](TAG4 *tag) {
        if (t4flush(tag->tagFile) < 0 || file4flush(&tag->tagFile->file) < 0)
            rc = -1;
    });
    return rc;
}

int d4indexesLock(DATA4 *d) {
    CODE4* c4 = d->c4;
    DATA4FILE *df = d->dataFile;
    if (df->indexLocked)
        return df->indexLocked == d->clientId ? 0 : r4locked;
    int attempts = c4->lockTries == 0 ? 1 : c4->lockTries;
    const int saveTries = c4->lockTries;
    for (;;) {
        std::vector<TAG4FILE *> locked;
        int rc = 0;
        c4->lockTries = 0; // one attempt each; the retry is for the whole set
        for (void *p = l4first(&df->tagfiles); p && rc == 0; p = l4next(&df->tagfiles, p)) {
            auto *t = static_cast<TAG4FILE *>(p);
            rc = file4lock(&t->file, lock4base, lock4fileLen);
            if (rc == 0)
                locked.push_back(t);
        }
        c4->lockTries = saveTries;
        if (rc == 0) {
            // Pages cached before the lock may be out of date: check each file's version now (under the lock, a mark
            // left by a writer that stopped half way has its keys built again).
            for (TAG4FILE* t : locked) {
                t->lockHeld = 1;
                if (int r = tfile4doVersionCheck(t, 0, 1); r < 0)
                    rc = r;
                t->lockHeld = 0;
            }
            if (rc == 0) {
                df->indexLocked = d->clientId;
                return 0;
            }
        }
        for (TAG4FILE *t : locked)
            file4unlock(&t->file, lock4base, lock4fileLen);
        if (rc != r4locked || attempts == 1)
            return rc;
        if (attempts > 1)
            --attempts;
        code4lockWait(c4, c4->lockWaitHundredths);
    }
}

int d4indexesUnlock(DATA4 *d) {
    DATA4FILE *df = d->dataFile;
    if (!df->indexLocked || df->indexLocked != d->clientId)
        return 0;
    int rc = 0;
    for (void *p = l4first(&df->tagfiles); p; p = l4next(&df->tagfiles, p)) {
        auto *t = static_cast<TAG4FILE *>(p);
        if (t4flush(t) < 0)
            rc = -1;
        if (file4unlock(&t->file, lock4base, lock4fileLen) < 0)
            rc = -1;
    }
    df->indexLocked = 0;
    return rc;
}

// --- keys of a record write ---

int d4writeKeysBegin(DATA4* d, long n, int* locked) {
    *locked = 0;
    CODE4* c4 = d->c4;
    std::vector<char> oldBuf;
    const char *old = oldRecord(d, n, oldBuf);
    if (!old)
        return -1;
    if (std::memcmp(old, d->record, d->dataFile->recWidth) == 0)
        return 0;
    std::vector<KEYS4> done;
    bool lockedHere = false, triedLock = false;
    int result = 0;
    forEachTag(d, [&](TAG4 *tag) {
        if (result != 0)
            return;
        TAG4FILE *t = tag->tagFile;
        tfile4bind(t, d);
        KEYS4 k{tag, std::vector<unsigned char>(static_cast<size_t>(t4keyLen(t))),
                std::vector<unsigned char>(static_cast<size_t>(t4keyLen(t))), 0, 0};
        k.oldPass = tfile4exprKey(t, old, k.oldKey.data());
        k.newPass = tfile4exprKey(t, d->record, k.newKey.data());
        if (k.oldPass < 0 || k.newPass < 0) {
            result = k.oldPass < 0 ? k.oldPass : k.newPass;
            return;
        }
        if (k.oldPass == k.newPass && k.oldKey == k.newKey)
            return;
        if (!triedLock) {
            triedLock = true;
            if (int r = lockTagsFor(d, lockedHere); r != 0) {
                result = r;
                return;
            }
        }
        if (k.oldPass) {
            int r = tfile4removeKey(t, k.oldKey.data(), n);
            if (r < 0) {
                result = r;
                return;
            }
        }
        if (k.newPass) {
            int r = tfile4add(t, k.newKey.data(), n, t4unique(tag));
            if (r == r4unique || r == e4unique) {
                // Refused: every tag gets its old key back and the write does not happen.
                const int latched = error4set(c4, 0);
                if (k.oldPass)
                    tfile4add(t, k.oldKey.data(), n, 0);
                undoKeys(done, n);
                error4set(c4, latched);
                result = r;
                return;
            }
            if (r == r4uniqueContinue)
                k.newPass = 0; // the duplicate was not added: nothing to take back for it
            else if (r < 0) {
                result = r;
                return;
            }
        }
        done.push_back(std::move(k));
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

int d4unwriteKeys(DATA4 *d, long n) {
    std::vector<char> oldBuf;
    const char *old = oldRecord(d, n, oldBuf);
    if (!old)
        return -1;
    int rc = 0;
    forEachTag(d, [&](TAG4 *tag) {
        TAG4FILE *t = tag->tagFile;
        std::vector<unsigned char> oldKey(static_cast<size_t>(t4keyLen(t))), newKey(oldKey.size());
        const int oldPass = tfile4exprKey(t, old, oldKey.data());
        const int newPass = tfile4exprKey(t, d->record, newKey.data());
        if (oldPass < 0 || newPass < 0) {
            rc = -1;
            return;
        }
        if (oldPass == newPass && oldKey == newKey)
            return;
        if (newPass && tfile4removeKey(t, newKey.data(), n) < 0)
            rc = -1;
        if (oldPass && tfile4add(t, oldKey.data(), n, 0) < 0)
            rc = -1;
    });
    // Keys that could not be put back leave the index out of step with the record: its mark stays for the next open.
    if (rc != 0)
        forEachTag(d, [&](TAG4* tag) { tag->tagFile->keepMark = 1; });
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
    int result = 0;
    forEachTag(d, [&](TAG4 *tag) {
        if (result != 0)
            return;
        TAG4FILE *t = tag->tagFile;
        tfile4bind(t, d);
        if (tfile4markChanging(t) < 0) {
            result = -1;
            return;
        }
        const int mode = t4unique(tag);
        if (mode != r4unique && mode != e4unique)
            return;
        // A tag that refuses a duplicate refuses the append before the record is written.
        std::vector<unsigned char> key(static_cast<size_t>(t4keyLen(t)));
        const int pass = tfile4exprKey(t, d->record, key.data());
        if (pass <= 0) {
            result = pass;
            return;
        }
        const int saveDesc = t->descending;
        t->descending = 0;
        const int found = tfile4seek(t, key.data(), t4keyLen(t));
        t->descending = saveDesc;
        if (found < 0)
            result = found;
        else if (found == 0)
            result = mode == e4unique ? error4raiseText(c4, e4unique, loc4add, t->alias) : r4unique;
    });
    if (result != 0)
        return releaseTagLock(d, lockedHere, result);
    *locked = lockedHere;
    return 0;
}

int d4appendKeys(DATA4* d, long n) {
    int result = 0;
    forEachTag(d, [&](TAG4* tag) {
        if (result != 0)
            return;
        TAG4FILE* t = tag->tagFile;
        tfile4bind(t, d);
        std::vector<unsigned char> key(static_cast<size_t>(t4keyLen(t)));
        const int pass = tfile4exprKey(t, d->record, key.data());
        int r = pass;
        if (pass > 0)
            r = tfile4add(t, key.data(), n, t4unique(tag));
        // Checked under the lock before the record was written, a refusal here means the tree is not what it
        // should be: its mark stays, and the next open builds the keys again.
        if (r < 0 || r == r4unique)
            result = r < 0 ? r : e4unique;
    });
    // The record is taken back out of the file: keys already added for it must go too, and the next open does that
    // by building every key again (the mark stays on each index file).
    if (result != 0)
        forEachTag(d, [&](TAG4* tag) { tag->tagFile->keepMark = 1; });
    return result;
}

// --- tags of a handle, seek and skip ---

TAG4 *d4tag(DATA4 *d, const char *nameIn) {
    if (!d || !nameIn) {
        error4raise(d ? d->c4 : nullptr, -935, loc4index);
        return nullptr;
    }
    char name[11];
    u4ncpy(name, nameIn, sizeof name);
    for (char *p = name; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    TAG4 *found = nullptr;
    forEachTag(d, [&](TAG4 *tag) {
        if (!found && std::strcmp(tag->tagFile->alias, name) == 0)
            found = tag;
    });
    if (!found && d->c4->tagNameErrors)
        error4raiseText(d->c4, e4tagName, loc4index, nameIn);
    return found;
}

TAG4 *d4tagDefault(DATA4 *d) {
    if (!d)
        return nullptr;
    if (d->tagSelected)
        return d->tagSelected;
    auto *index = static_cast<INDEX4 *>(l4first(&d->indexes));
    return index ? i4tag(index) : nullptr;
}

void d4tagSelect(DATA4 *d, TAG4 *t) {
    if (d)
        d->tagSelected = t;
}

int d4seekN(DATA4 *d, const char *text, int len) {
    if (!d || !text)
        return error4raise(d ? d->c4 : nullptr, -935, loc4seek);
    CODE4GUARD guard(d->c4->mutex);
    TAG4 *tag = nullptr;
    if (int rc = seekTag(d, &tag); rc != 0)
        return rc;
    TAG4FILE *t = tag->tagFile;
    if (len <= 0)
        len = static_cast<int>(std::strlen(text));
    std::vector<unsigned char> key(static_cast<size_t>(t4keyLen(t)));
    int cmpLen = tfile4seekConvert(t, text, len, key.data());
    if (t->keyType != 'C')
        cmpLen = t4keyLen(t);
    return seekChecked(d, tag, key.data(), cmpLen);
}

int d4seek(DATA4 *d, const char *text) { return d4seekN(d, text, text ? static_cast<int>(std::strlen(text)) : 0); }

int d4seekDouble(DATA4 *d, double value) {
    if (!d)
        return error4raise(nullptr, -935, loc4seek);
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    TAG4 *tag = nullptr;
    if (int rc = seekTag(d, &tag); rc != 0)
        return rc;
    TAG4FILE *t = tag->tagFile;
    const int kl = t4keyLen(t);
    std::vector<unsigned char> key(static_cast<size_t>(kl) + 1);
    if (t->keyType == 'N') {
        c4doubleToKey(value, reinterpret_cast<char *>(key.data()), kl, t->header.keyDec);
    } else if (t->keyType == 'D') {
        std::memset(key.data(), ' ', key.size());
        date4assign(reinterpret_cast<char *>(key.data()), value >= 1 ? static_cast<long>(value) : 0);
    } else {
        return error4raise(c4, e4tagInfo, loc4seek);
    }
    return seekChecked(d, tag, key.data(), kl);
}

int d4tagTop(DATA4 *d) { return tagEnd(d, false); }

int d4tagBottom(DATA4 *d) { return tagEnd(d, true); }

int d4skipTag(DATA4 *d, long n) {
    TAG4FILE *t = d->tagSelected->tagFile;
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
