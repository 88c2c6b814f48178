// NTX tag files: open and header checks, page reads with their checks, the page cache, flush and close.
#include "t4internal.h"

#include "e4functions.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>

int t4corrupt(TAG4FILE* t) {
    return error4raiseText(t->c4, e4index, loc4readBlock, t->file.name);
}

int tfile4lockedOrExclusive(TAG4FILE* t) {
    return t->file.lowAccessMode != 0 || t->file.isReadOnly || t->selfLocked ||
           (t->dataFile && t->dataFile->indexLocked);
}

namespace {

bool headerGeometryFits(const T4HEADER& h) {
    if (h.keyLen == 0 || h.keyLen > t4maxKeyLen)
        return false;
    if (h.keysHalf == 0 || h.keysMax != 2 * h.keysHalf)
        return false;
    if (h.groupLen != h.keyLen + 8)
        return false;
    if (h.sign != 6 && h.sign != 262)
        return false;
    // The slot table and max + 1 entries (the last one holds the right-most child) must fit one page.
    const long need = 2L + 2L * (h.keysMax + 1) + static_cast<long>(h.keysMax + 1) * h.groupLen;
    return need <= t4pageSize;
}

// Every slot must name an entry that lies wholly inside the page, past the slot table.
bool pageFits(TAG4FILE* t, B4BLOCK* b) {
    const T4HEADER& h = t->header;
    if (b4n(b) > h.keysMax)
        return false;
    const unsigned lo = 2u + 2u * (h.keysMax + 1u), hi = t4pageSize - h.groupLen;
    for (int i = 0; i <= h.keysMax; ++i) {
        unsigned o = b4get16(b->data + 2 + 2 * i);
        if (o < lo || o > hi)
            return false;
    }
    return true;
}

void trimTextField(const unsigned char* src, size_t n, std::string& out) {
    size_t len = 0;
    while (len < n && src[len])
        ++len;
    while (len > 0 && (src[len - 1] == ' '))
        --len;
    out.assign(reinterpret_cast<const char*>(src), len);
}

} // namespace

void tfile4release(TAG4FILE* t, B4BLOCK* b) {
    t->saved.push_back(b);
    while (t->saved.size() > t4cacheBuffers) {
        B4BLOCK* old = t->saved.front();
        t->saved.erase(t->saved.begin());
        if (old->changed)
            tfile4writeBlock(t, old);
        delete old;
    }
}

int tfile4writeBlock(TAG4FILE* t, B4BLOCK* b) {
    int rc = file4write(&t->file, b->fileBlock * 512L, b->data, t4pageSize);
    if (rc < 0)
        return -1;
    b->changed = 0;
    return 0;
}

int i4readBlock(TAG4FILE* t, long pos, B4BLOCK* parent, B4BLOCK* b) {
    if (file4readAll(&t->file, pos, b->data, t4pageSize) < 0)
        return -1;
    b->fileBlock = pos / 512;
    b->changed = 0;
    b->keyOn = 0;
    if (!pageFits(t, b))
        return t4corrupt(t);
    int inconsistent = 0;
    if (t->c4->indexChecks) {
        const int n = b4n(b);
        if (n == 0 && pos != static_cast<long>(t->header.root) && t->header.keysMax > 2)
            inconsistent = 1;
        // The parent's key at the slot we came through bounds this page's keys.
        if (parent && n > 0 && !inconsistent) {
            const int pn = b4n(parent), on = parent->keyOn, kl = t4keyLen(t);
            if (on < pn && t4keyCmp(b4key(parent, on), b4key(b, n - 1), kl) < 0)
                inconsistent = 1;
            if (on > 0 && on <= pn && t4keyCmp(b4key(parent, on - 1), b4key(b, 0), kl) > 0)
                inconsistent = 1;
        }
    }
    if (inconsistent && tfile4lockedOrExclusive(t))
        return t4corrupt(t);
    return inconsistent;
}

int tfile4getBlock(TAG4FILE* t, long pos, B4BLOCK* parent, B4BLOCK** out) {
    *out = nullptr;
    // A page must lie wholly inside the file, past the header, on a 512-byte boundary.
    if (pos < t4pageSize || pos % 512 != 0)
        return t4corrupt(t);
    if (pos + t4pageSize > t->fileLen) {
        t->fileLen = file4len(&t->file);
        if (pos + t4pageSize > t->fileLen)
            return t4corrupt(t);
    }
    for (size_t i = t->saved.size(); i-- > 0;)
        if (t->saved[i]->fileBlock * 512L == pos) {
            B4BLOCK* b = t->saved[i];
            t->saved.erase(t->saved.begin() + static_cast<long>(i));
            b->keyOn = 0;
            *out = b;
            return 0;
        }
    B4BLOCK* b;
    if (t->saved.size() >= t4cacheBuffers) {
        b = t->saved.front();
        t->saved.erase(t->saved.begin());
        if (b->changed && tfile4writeBlock(t, b) < 0) {
            delete b;
            return -1;
        }
    } else {
        b = new B4BLOCK;
    }
    int rc = i4readBlock(t, pos, parent, b);
    if (rc != 0) {
        delete b;
        return rc;
    }
    *out = b;
    return 0;
}

long tfile4extend(TAG4FILE* t) {
    long len = file4len(&t->file);
    if (len < 0)
        return -1;
    // Pages are 1024 bytes from offset 0; a file whose length is not a whole number of pages gets its next page
    // at the following page boundary.
    len = (len + t4pageSize - 1) / t4pageSize * t4pageSize;
    t->fileLen = len + t4pageSize;
    return len / 512;
}

B4BLOCK* tfile4newBlock(TAG4FILE* t, int* rc) {
    long block = tfile4extend(t);
    if (block < 0) {
        *rc = -1;
        return nullptr;
    }
    auto* b = new B4BLOCK;
    std::memset(b->data, 0, sizeof b->data);
    b->fileBlock = block;
    b->changed = 1;
    b4build(t, b, 0, nullptr, 0);
    // Write it at once so that the file's length covers the page even before the next flush.
    *rc = tfile4writeBlock(t, b);
    b->changed = 1;
    if (*rc < 0) {
        delete b;
        return nullptr;
    }
    return b;
}

void b4build(TAG4FILE* t, B4BLOCK* b, int n, const unsigned char* entries, long rightChild) {
    const T4HEADER& h = t->header;
    const int m = h.keysMax + (h.keysMax % 2);
    std::memset(b->data, 0, sizeof b->data);
    b4put16(b->data, static_cast<unsigned>(n));
    for (int i = 0; i <= h.keysMax; ++i)
        b4put16(b->data + 2 + 2 * i, static_cast<unsigned>(2 * m + 4 + i * h.groupLen));
    if (n > 0)
        std::memcpy(b->data + 2 * m + 4, entries, static_cast<size_t>(n) * h.groupLen);
    b4put32(b4entry(b, n), static_cast<uint32_t>(rightChild));
    b->changed = 1;
}

int b4room(TAG4FILE* t, B4BLOCK* b) {
    const int n = b4n(b);
    if (b4leaf(b))
        return n < t->header.keysMax;
    return n < t->header.keysMax && 1020 - t->header.groupLen * n > 3;
}

int b4seek(TAG4FILE* t, B4BLOCK* b, const unsigned char* key, int len) {
    int lo = -1, hi = b4n(b);
    bool equalAtHi = false;
    while (lo < hi - 1) {
        const int mid = (lo + hi) / 2;
        const int c = t4keyCmp(b4key(b, mid), key, len);
        if (c >= 0) {
            hi = mid;
            equalAtHi = c == 0;
        } else {
            lo = mid;
        }
    }
    b->keyOn = hi;
    return hi < b4n(b) && equalAtHi ? 0 : 2;
}

void tfile4releaseAll(TAG4FILE* t) {
    while (!t->path.empty()) {
        tfile4release(t, t->path.back());
        t->path.pop_back();
    }
}

// Drops every cached page: they may no longer be what is in the file. Changed ones are written first.
static int tfile4dropCache(TAG4FILE* t) {
    int rc = 0;
    tfile4releaseAll(t);
    for (B4BLOCK* b : t->saved) {
        if (b->changed && tfile4writeBlock(t, b) < 0)
            rc = -1;
        delete b;
    }
    t->saved.clear();
    return rc;
}

int tfile4outOfDate(TAG4FILE* t, int& tries) {
    if (tfile4lockedOrExclusive(t) || --tries < 0)
        return t4corrupt(t);
    // Another process is rewriting the file: wait for the next clock second, then start again from the root.
    FILE4SYS* sys = code4sys(t->c4);
    const time_t start = sys->now();
    for (int i = 0; i < 20 && sys->now() == start; ++i)
        sys->sleepHundredths(5);
    if (tfile4dropCache(t) < 0)
        return -1;
    t->rootKnown = 0;
    t->fileLen = file4len(&t->file);
    return 0;
}

int tfile4down(TAG4FILE* t) {
    long pos;
    B4BLOCK* parent = nullptr;
    if (t->path.empty()) {
        if (!t->rootKnown) {
            unsigned char buf[8];
            if (file4readAll(&t->file, 4, buf, 8) < 0)
                return -1;
            t->header.root = b4get32(buf);
            t->header.eof = b4get32(buf + 4);
            t->rootKnown = 1;
        }
        pos = static_cast<long>(t->header.root);
    } else {
        parent = t->path.back();
        if (b4leaf(parent))
            return 1;
        pos = b4child(parent, parent->keyOn);
        if (pos == 0)
            return 1;
        if (static_cast<int>(t->path.size()) >= t4maxDepth)
            return t4corrupt(t);
    }
    B4BLOCK* b = nullptr;
    int rc = tfile4getBlock(t, pos, parent, &b);
    if (rc != 0)
        return rc == 1 ? 2 : rc;
    t->path.push_back(b);
    return 0;
}

int tfile4upToRoot(TAG4FILE* t) {
    tfile4releaseAll(t);
    return tfile4down(t);
}

int t4flush(TAG4FILE* t) {
    if (!t)
        return -1;
    int rc = 0;
    // Pages first, the header last: a reader takes a new version as the sign that the pages it has are out of date,
    // so the version must not reach the file before the pages it stands for.
    for (B4BLOCK* b : t->path)
        if (b->changed && tfile4writeBlock(t, b) < 0)
            rc = -1;
    for (B4BLOCK* b : t->saved)
        if (b->changed && tfile4writeBlock(t, b) < 0)
            rc = -1;
    if (rc == 0 && (t->header.version != t->versionOld || t->marked || t->rootWrite)) {
        unsigned char h[t4headLen];
        std::memcpy(h, t->head, sizeof h);
        b4put16(h, t->header.sign);
        b4put16(h + 2, t->header.version);
        b4put32(h + 4, t->header.root);
        b4put32(h + 8, t->header.eof);
        b4put16(h + 277, t->header.unique);
        h[t4markOffset] = t->keepMark ? t4markChanging : 0;
        b4put16(h + 280, t->header.descending);
        if (file4write(&t->file, 0, h, sizeof h) < 0) {
            rc = -1;
        } else {
            std::memcpy(t->head, h, sizeof h);
            t->versionOld = t->header.version;
            t->rootWrite = 0;
            t->marked = t->keepMark;
        }
    }
    return rc;
}

int tfile4markChanging(TAG4FILE* t) {
    if (t->marked)
        return 0;
    const unsigned char m = t4markChanging;
    if (file4write(&t->file, t4markOffset, &m, 1) < 0)
        return -1;
    t->head[t4markOffset] = m;
    t->marked = 1;
    return 0;
}

int tfile4current(TAG4FILE* t) {
    unsigned char h[t4markOffset + 1];
    if (file4readAll(&t->file, 0, h, sizeof h) < 0)
        return -1;
    return b4get16(h + 2) == t->versionOld && h[t4markOffset] != t4markChanging;
}

int tfile4rebuild(TAG4FILE* t) {
    CODE4* c4 = t->c4;
    DATA4* d = t->data;
    if (t->file.isReadOnly || !d)
        return t4corrupt(t);
    // What is cached came from the damaged tree: dropped, not written.
    tfile4releaseAll(t);
    for (B4BLOCK* b : t->saved)
        delete b;
    t->saved.clear();
    t->marked = 0;
    if (tfile4markChanging(t) < 0)
        return -1;
    // One empty root page after the header; the rest of the file goes.
    B4BLOCK root;
    root.fileBlock = t4pageSize / 512;
    b4build(t, &root, 0, nullptr, 0);
    if (tfile4writeBlock(t, &root) < 0 || file4lenSet(&t->file, 2 * t4pageSize) < 0)
        return -1;
    t->fileLen = 2 * t4pageSize;
    t->header.root = t4pageSize;
    t->header.eof = 0;
    t->rootKnown = 1;
    t->rootWrite = 1;
    t->header.version = static_cast<uint16_t>(t->versionOld + 1);
    DATA4FILE* df = t->dataFile;
    const long count = d4recCountDo(d);
    if (count < 0)
        return -1;
    std::vector<char> rec(df->recWidth + 1);
    std::vector<unsigned char> key(static_cast<size_t>(t4keyLen(t)));
    // A unique tag keeps the first record of each key, as appends in the default unique mode would have.
    const int mode = t->header.unique ? 25 : 0;
    for (long n = 1; n <= count; ++n) {
        const long pos = static_cast<long>(df->headerLen) + static_cast<long>(df->recWidth) * (n - 1);
        if (file4readAll(&df->file, pos, rec.data(), df->recWidth) < 0)
            return -1;
        const int pass = tfile4exprKey(t, rec.data(), key.data());
        if (pass < 0)
            return pass;
        if (pass) {
            const int r = tfile4add(t, key.data(), n, mode);
            if (r < 0)
                return r;
        }
    }
    (void)c4;
    return t4flush(t);
}

namespace {

thread_local int openFresh = 0;

// The keys cannot be those of the data file: a tree with no key over records that every one of them must have
// (no filter), keys over no record at all, or more records than the file's pages could hold keys for.
int keysCannotMatch(TAG4FILE* t, long count) {
    unsigned char n[2];
    if (t->header.root < static_cast<uint32_t>(t4pageSize) ||
        static_cast<long>(t->header.root) + t4pageSize > t->fileLen)
        return 1;
    if (file4readAll(&t->file, static_cast<long>(t->header.root), n, 2) < 0)
        return -1;
    const long rootKeys = static_cast<long>(b4get16(n));
    const long pages = t->fileLen / t4pageSize - 1;
    if (count == 0)
        return rootKeys > 0;
    if (t->filter)
        return 0;
    return rootKeys == 0 || count > pages * static_cast<long>(t->header.keysMax + 1);
}

// A single attempt at the index lock: 0 granted, r4locked, or negative.
int tryLock(TAG4FILE* t) {
    CODE4* c4 = t->c4;
    const int saveTries = c4->lockTries;
    c4->lockTries = 0;
    const int rc = file4lock(&t->file, lock4base, lock4fileLen);
    c4->lockTries = saveTries;
    return rc;
}

// 1 when the mark is set (mark: the byte as read, or -1 to read it now) or, with checkCount, the keys cannot be
// those of the data file; 0 when neither; negative on error.
int suspect(TAG4FILE* t, int mark, bool checkCount) {
    if (mark < 0) {
        unsigned char m;
        if (file4readAll(&t->file, t4markOffset, &m, 1) < 0)
            return -1;
        mark = m;
    }
    if (mark == t4markChanging)
        return 1;
    if (!checkCount)
        return 0;
    const long count = d4recCountDo(t->data);
    return count < 0 ? -1 : keysCannotMatch(t, count);
}

// Builds the keys again when they are suspect; the caller holds the file (exclusively or locked).
int repairHeld(TAG4FILE* t, bool checkCount) {
    const int bad = suspect(t, -1, checkCount);
    return bad > 0 ? tfile4rebuild(t) : bad;
}

// In shared mode: a writer holds the index lock through its whole change, so a lock that is granted while the keys
// are suspect means the change was cut short, and they are built again under that lock. A lock refused means a
// writer is at work: nothing to do here. A reader (read-only file) cannot rebuild: it reports what no live writer
// explains.
int repairShared(TAG4FILE* t, bool checkCount) {
    if (t->file.isReadOnly) {
        FILE4SYS* sys = code4sys(t->c4);
        if (sys->lock(t->file.hand, lock4base, lock4fileLen, F_RDLCK) < 0)
            return 0;
        const int bad = suspect(t, -1, checkCount);
        sys->lock(t->file.hand, lock4base, lock4fileLen, F_UNLCK);
        return bad > 0 ? t4corrupt(t) : bad;
    }
    int rc = tryLock(t);
    if (rc != 0)
        return rc < 0 ? rc : 0;
    t->selfLocked = 1;
    rc = repairHeld(t, checkCount);
    t->selfLocked = 0;
    const int u = file4unlock(&t->file, lock4base, lock4fileLen);
    return rc < 0 ? rc : u;
}

// At open: nothing to do unless the keys are suspect; then a rebuild where this process holds the file, else the
// shared repair.
int checkAtOpen(TAG4FILE* t, int mark, bool held) {
    const int bad = suspect(t, mark, true);
    if (bad <= 0)
        return bad;
    return held ? tfile4rebuild(t) : repairShared(t, true);
}

// A reader met the mark: waits while a writer is at work (its change is a few writes), repairs after one that is gone.
int markMet(TAG4FILE* t) {
    FILE4SYS* sys = code4sys(t->c4);
    if (t->lockHeld)
        return repairHeld(t, false);
    for (int i = 0; i < 500; ++i) {
        unsigned char m;
        if (file4readAll(&t->file, t4markOffset, &m, 1) < 0)
            return -1;
        if (m != t4markChanging)
            return 0;
        if (t->file.isReadOnly) {
            if (sys->lock(t->file.hand, lock4base, lock4fileLen, F_RDLCK) == 0) {
                sys->lock(t->file.hand, lock4base, lock4fileLen, F_UNLCK);
                return t4corrupt(t);
            }
        } else {
            const int rc = tryLock(t);
            if (rc < 0)
                return rc;
            if (rc == 0) {
                t->selfLocked = 1;
                const int r = repairHeld(t, false);
                t->selfLocked = 0;
                const int u = file4unlock(&t->file, lock4base, lock4fileLen);
                return r < 0 ? r : u;
            }
        }
        // A writer's change is a few writes: look again at once for a while before waiting between looks.
        if (i >= 100)
            sys->sleepHundredths(1);
    }
    return 0;
}

} // namespace

void tfile4openFresh(int on) {
    openFresh = on;
}

int tfile4doVersionCheck(TAG4FILE* t, int keepPosition, int update) {
    if (tfile4lockedOrExclusive(t))
        return 0;
    unsigned char h[t4markOffset + 1];
    if (file4readAll(&t->file, 0, h, sizeof h) < 0)
        return -1;
    if (h[t4markOffset] == t4markChanging) {
        // Another program is changing the file, or stopped half way: wait for it, or build the keys again.
        if (int rc = markMet(t); rc < 0)
            return rc;
        if (file4readAll(&t->file, 0, h, sizeof h) < 0)
            return -1;
    }
    const uint16_t version = static_cast<uint16_t>(b4get16(h + 2));
    t->header.root = b4get32(h + 4);
    t->header.eof = b4get32(h + 8);
    t->rootKnown = 1;
    if (version == t->versionOld)
        return 0;
    if (update)
        t->versionOld = t->header.version = version;
    else
        t->header.version = t->versionOld;
    std::vector<unsigned char> key;
    long rec = -1;
    const bool hadPosition = keepPosition && !t->path.empty();
    const bool atEof = hadPosition && tfile4eof(t);
    if (hadPosition && !atEof) {
        key.assign(tfile4key(t), tfile4key(t) + t4keyLen(t));
        rec = tfile4recNo(t);
    }
    if (tfile4dropCache(t) < 0)
        return error4raise(t->c4, e4result, loc4flush);
    t->fileLen = file4len(&t->file);
    if (!hadPosition)
        return 0;
    if (atEof)
        return tfile4goEof(t);
    const int saveDesc = t->descending;
    t->descending = 0;
    int rc = tfile4go(t, key.data(), rec);
    t->descending = saveDesc;
    return rc < 0 ? rc : 0;
}

TAG4FILE* tfile4open(DATA4* d, const char* name) {
    if (!d || !name) {
        error4raise(d ? d->c4 : nullptr, e4parmNull, loc4tagOpen);
        return nullptr;
    }
    CODE4* c4 = d->c4;
    if (c4->errorLatch < 0)
        return nullptr;
    char full[260];
    if (u4nameCurrent(full, sizeof full, name) != 0)
        return nullptr;
    u4nameExt(full, sizeof full, "NTX", 0);
    DATA4FILE* df = d->dataFile;
    for (void* p = l4first(&df->tagfiles); p; p = l4next(&df->tagfiles, p)) {
        auto* t = static_cast<TAG4FILE*>(p);
        if (t->file.name && std::strcmp(t->alias, "") != 0) {
            char other[260];
            if (u4nameCurrent(other, sizeof other, t->file.name) == 0 && std::strcmp(other, full) == 0) {
                ++t->userCount;
                return t;
            }
        }
    }
    auto* t = new TAG4FILE;
    t->c4 = c4;
    t->data = d;
    t->dataFile = df;
    if (file4open(&t->file, c4, full, 1) != 0) {
        delete t;
        return nullptr;
    }
    auto fail = [&](int code) -> TAG4FILE* {
        if (code)
            error4raiseText(c4, code, loc4tagOpen, code == e4index ? t->file.name : nullptr);
        if (t->expr)
            expr4free(t->expr);
        if (t->filter)
            expr4free(t->filter);
        file4close(&t->file);
        delete t;
        return nullptr;
    };
    unsigned char h[t4pageSize];
    std::memset(h, 0, sizeof h);
    t->fileLen = file4len(&t->file);
    if (t->fileLen < 0)
        return fail(0);
    if (t->fileLen < 22 || file4readAll(&t->file, 0, h, t->fileLen < t4pageSize ? 22 : t4pageSize) < 0)
        return c4->errorLatch < 0 ? fail(0) : fail(e4index);
    T4HEADER& hd = t->header;
    hd.sign = static_cast<uint16_t>(b4get16(h));
    hd.version = static_cast<uint16_t>(b4get16(h + 2));
    hd.root = b4get32(h + 4);
    hd.eof = b4get32(h + 8);
    hd.groupLen = static_cast<uint16_t>(b4get16(h + 12));
    hd.keyLen = static_cast<uint16_t>(b4get16(h + 14));
    hd.keyDec = static_cast<uint16_t>(b4get16(h + 16));
    hd.keysMax = static_cast<uint16_t>(b4get16(h + 18));
    hd.keysHalf = static_cast<uint16_t>(b4get16(h + 20));
    if (!headerGeometryFits(hd) || t->fileLen < 2 * t4pageSize)
        return fail(e4index);
    t->versionOld = hd.version;
    t->rootKnown = 0;
    char base[260];
    u4namePiece(base, sizeof base, full, 0, 0);
    const size_t aliasLen = strnlen(base, sizeof t->alias - 1);
    std::memcpy(t->alias, base, aliasLen);
    t->alias[aliasLen] = 0;

    std::string keyText, filterText;
    trimTextField(h + 22, 255, keyText);
    t->expr = expr4parse(d, keyText.c_str(), t);
    if (!t->expr)
        return fail(0);
    t->expr->keyLen = hd.keyLen;
    t->expr->keyDec = hd.keyDec;
    if (expr4keyLen(t->expr) <= 0)
        return fail(e4info);
    hd.unique = static_cast<uint16_t>(b4get16(h + 277));
    hd.descending = static_cast<uint16_t>(b4get16(h + 280));
    t->descending = hd.descending != 0;
    trimTextField(h + 282, 255, filterText);
    if (!filterText.empty()) {
        t->filter = expr4parse(d, filterText.c_str(), t);
        if (!t->filter || expr4type(t->filter) != 'L')
            return fail(0);
    }
    switch (expr4type(t->expr)) {
    case 'C':
        t->keyType = 'C';
        break;
    case 'D':
    case 'd':
        t->keyType = 'D';
        break;
    case 'N':
    case 'n':
        t->keyType = 'N';
        break;
    default:
        return fail(e4tagInfo);
    }
    std::memcpy(t->head, h, sizeof t->head);
    l4add(&df->tagfiles, t);
    if (df->indexLocked && file4lock(&t->file, lock4base, lock4fileLen) != 0) {
        l4remove(&df->tagfiles, t);
        return fail(0);
    }
    // An index left half changed (the mark), or whose keys plainly cannot be the data file's, is never used as it
    // stands: its keys are built again, or the open fails with e4index where the file cannot be written.
    if (!openFresh) {
        const bool held = t->file.lowAccessMode != 0 || df->indexLocked;
        const int rc = checkAtOpen(t, h[t4markOffset], held);
        if (rc < 0) {
            l4remove(&df->tagfiles, t);
            return fail(0);
        }
    }
    return t;
}

int tfile4close(TAG4FILE* t) {
    if (!t)
        return e4parmNull;
    if (--t->userCount > 0)
        return 0;
    int rc = t4flush(t) < 0 ? -1 : 0;
    if (tfile4dropCache(t) < 0)
        rc = -1;
    if (t->dataFile && t->dataFile->indexLocked)
        file4unlock(&t->file, lock4base, lock4fileLen);
    if (file4close(&t->file) < 0 && rc == 0)
        rc = -1;
    if (t->expr)
        expr4free(t->expr);
    if (t->filter)
        expr4free(t->filter);
    if (t->dataFile)
        l4remove(&t->dataFile->tagfiles, t);
    delete t;
    return rc;
}

int tfile4exprKey(TAG4FILE* t, const char* record, unsigned char* out) {
    CODE4* c4 = t->c4;
    E4CODE& st = c4->expr;
    int pass = 1;
    if (t->filter) {
        t->filter->recordOverride = record;
        pass = expr4true(t->filter);
        t->filter->recordOverride = nullptr;
        if (pass < 0)
            return pass;
    }
    const int saveDec = st.decimals;
    st.decimals = t->header.keyDec;
    t->expr->recordOverride = record;
    char* key = nullptr;
    int len = expr4key(t->expr, &key);
    t->expr->recordOverride = nullptr;
    st.decimals = saveDec;
    if (len < 0)
        return len;
    const int kl = t4keyLen(t);
    // A key expression whose length differs from the file's key length is cut or blank-padded to it.
    std::memset(out, ' ', static_cast<size_t>(kl));
    std::memcpy(out, key, static_cast<size_t>(std::min(len, kl)));
    return pass;
}

int tfile4seekConvert(TAG4FILE* t, const char* text, int len, unsigned char* out) {
    const int kl = t4keyLen(t);
    if (len < 0)
        len = 0;
    if (t->keyType == 'N') {
        // The text is read as a number and written as the tag writes its keys (its key length and decimals),
        // so "12.5" finds the key of 12.50 and negative numbers land in their place.
        const double v = c4textToDouble(text, len);
        c4doubleToKey(v, reinterpret_cast<char*>(out), kl, t->header.keyDec);
        return kl;
    }
    const int n = std::min(len, kl);
    std::memcpy(out, text, static_cast<size_t>(n));
    if (n < kl)
        std::memset(out + n, ' ', static_cast<size_t>(kl - n));
    return n;
}
