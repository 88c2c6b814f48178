#include "m4memo.h"

#include "c4conv.h"
#include "d4data.h"
#include "lock4.h"

#include <climits>
#include <cstring>

namespace {

constexpr unsigned memoBlock = 512;
// An entry ends with two 0x1A bytes, as dBase III writes them: readers that look for the pair (and not for the first
// 0x1A, as this engine does) would otherwise run on into the following blocks.
constexpr unsigned memoEndLen = 2;

// Byte offset of block n, or -1 past what 32-bit positions reach (a damaged block number).
long blockPos(long n) {
    if (n <= 0 || n > (long(INT_MAX) / long(memoBlock)))
        return -1;
    return n * long(memoBlock);
}

} // namespace

int memo4fileOpen(MEMO4FILE* m, DATA4FILE* d, const char* name) {
    CODE4* c4 = d->c4;
    *m = MEMO4FILE{};
    m->file.hand = -1;
    int rc = file4open(&m->file, c4, name, 1);
    if (rc != 0)
        return rc;
    unsigned char head[4];
    rc = file4readAll(&m->file, 0, head, 4);
    if (rc < 0) {
        file4close(&m->file);
        return rc;
    }
    m->data = d;
    m->blockSize = memoBlock;
    m->file.blockSize = memoBlock;
    m->isOpen = 1;
    return 0;
}

int memo4fileCreate(MEMO4FILE* m, CODE4* c4, const char* name) {
    *m = MEMO4FILE{};
    m->file.hand = -1;
    int rc = file4create(&m->file, c4, name, 1);
    if (rc != 0)
        return rc;
    char block0[memoBlock] = {1}; // the next free block is 1
    rc = file4write(&m->file, 0, block0, memoBlock);
    if (rc != 0) {
        file4close(&m->file);
        return rc;
    }
    m->blockSize = memoBlock;
    m->isOpen = 1;
    return 0;
}

int memo4fileRead(MEMO4FILE* m, long n, char** buf, unsigned* bufLen, unsigned* textLen) {
    CODE4* c4 = m->file.c4;
    *textLen = 0;
    if (n <= 0) {
        if (u4blockGrow(c4, buf, bufLen, 1) != 0)
            return error4raise(c4, e4memory, 10601);
        (*buf)[0] = 0;
        return 0;
    }
    long pos = blockPos(n);
    if (pos < 0)
        return -1;
    // The text cannot be longer than the file holds from its first block on. It is read straight into the result
    // buffer in pieces that grow with the text read so far, and the buffer grows by doubling up to that bound: a long
    // entry costs a few reads, allocations and copies, a short one a single read of a block.
    const long fileLen = file4len(&m->file);
    if (fileLen < 0)
        return c4->errorLatch < 0 ? c4->errorLatch : -1;
    const unsigned long bound = fileLen > pos ? (unsigned long)(fileLen - pos) + 1 : 1;
    unsigned len = 0;
    for (;;) {
        unsigned long piece = len < memoBlock ? memoBlock : len;
        if (bound > (unsigned long)len + 1 && piece > bound - len - 1)
            piece = bound - len - 1; // up to the end of the file as it was measured
        const unsigned long needed = (unsigned long)len + piece + 1;
        if (needed > UINT_MAX)
            return error4raise(c4, e4memory, 10603);
        if (*bufLen < needed) {
            unsigned long want = 2ul * *bufLen;
            if (want > bound)
                want = bound;
            if (want < needed)
                want = needed;
            if (want > UINT_MAX)
                want = UINT_MAX;
            if (u4blockGrow(c4, buf, bufLen, unsigned(want)) != 0)
                return error4raise(c4, e4memory, 10603);
        }
        char* at = *buf + len;
        const unsigned got = file4read(&m->file, pos, at, unsigned(piece));
        if (c4->errorLatch < 0)
            return c4->errorLatch;
        if (const void* end = std::memchr(at, 0x1A, got)) {
            len += unsigned(static_cast<const char*>(end) - at);
            break;
        }
        len += got;
        pos += long(got);
        if (got < piece) {
            (*buf)[len] = 0;
            return -1; // the entry has no end: a damaged memo file, reported without raising
        }
    }
    (*buf)[len] = 0;
    *textLen = len;
    return 0;
}

namespace {

// Writes the entry with the memo file locked (see memo4fileWrite).
int memoWriteLocked(MEMO4FILE* m, long* n, const char* text, unsigned len) {
    CODE4* c4 = m->file.c4;
    FILEREC4* f = &m->file;
    if (*n > 0) {
        // Room of the present entry: its blocks up to the one holding the 0x1A.
        long pos = blockPos(*n);
        unsigned long room = 0;
        char piece[memoBlock];
        while (pos >= 0) {
            const unsigned got = file4read(f, pos, piece, memoBlock);
            if (c4->errorLatch < 0)
                return -1;
            room += memoBlock;
            if (got < memoBlock || std::memchr(piece, 0x1A, got))
                break;
            pos += memoBlock;
            if (pos > long(INT_MAX) - long(memoBlock))
                break;
        }
        if (static_cast<unsigned long>(len) + memoEndLen > room)
            *n = 0;
    }
    const long oldLen = file4len(f);
    if (oldLen < 0)
        return -1;
    if (*n <= 0) {
        unsigned char head[4];
        if (file4read(f, 0, head, 4) != 4) {
            file4readError(f, 0, 4, "memo4fileWrite()");
            return -1;
        }
        const long next = long(c4readU32(head));
        const unsigned long blocks = (static_cast<unsigned long>(len) + memoEndLen + memoBlock - 1) / memoBlock;
        if (next <= 0 || blockPos(next) < 0 || blockPos(next + long(blocks)) < 0)
            return error4raiseText(c4, e4memoCorrupt, 10604, f->name);
        // Every block below the file's end may belong to an entry: a next free block there is a damaged header (or
        // one written by a program that does not lock), and writing at it would overwrite another record's text.
        const long usedBlocks = (oldLen + long(memoBlock) - 1) / long(memoBlock);
        if (next < usedBlocks)
            return error4raiseText(c4, e4memoCorrupt, 10610, f->name);
        const unsigned long newNext = (unsigned long)next + blocks;
        unsigned char out[4];
        for (int i = 0; i < 4; i++)
            out[i] = (unsigned char)(newNext >> (8 * i));
        if (file4write(f, 0, out, 4) != 0)
            return -1;
        *n = next;
    }
    const long pos = blockPos(*n);
    if (file4write(f, pos, text, len) != 0 || file4write(f, pos + long(len), "\x1A\x1A", memoEndLen) != 0)
        return -1;
    const long end = pos + long(len) + memoEndLen;
    if (end > oldLen) {
        const long padded = (end + memoBlock - 1) / memoBlock * memoBlock;
        if (file4lenSet(f, padded) != 0)
            return -1;
    }
    return 0;
}

} // namespace

int memo4fileWrite(MEMO4FILE* m, long* n, const char* text, unsigned len) {
    if (len == 0) {
        *n = 0;
        return 0;
    }
    // The next free block is read, moved on and written under the memo file's lock (nothing when the file is not
    // shared), and the entry is written before the lock goes: two writers are never given the same blocks, and the
    // file's length only ever grows past entries already written.
    FILEREC4* f = &m->file;
    const int locked = file4lock(f, lock4base, lock4fileLen);
    if (locked != 0)
        return locked;
    const int rc = memoWriteLocked(m, n, text, len);
    const int unlocked = file4unlock(f, lock4base, lock4fileLen);
    return rc != 0 ? rc : unlocked;
}

// ---- memo fields ----

static MEMO4FILE* memoFileOf(FIELD4* f) {
    return &f->data->dataFile->memoFile;
}

void f4memoReset(FIELD4* f) {
    if (!f || !f->memo)
        return;
    f->memo->len = 0;
    f->memo->status = 1;
    f->memo->isChanged = 0;
}

int f4memoRead(FIELD4* f) {
    F4MEMO* m = f->memo;
    DATA4* d = f->data;
    m->status = 0;
    m->len = 0;
    if (d->recNum < 1) {
        if (u4blockGrow(d->c4, &m->contents, &m->lenMax, 1) == 0)
            m->contents[0] = 0;
        return 0;
    }
    if (d->c4->lockOnRead && !d4lockTest(d, d->recNum)) {
        const int rc = d4lock(d, d->recNum);
        if (rc != 0)
            return rc;
    }
    const long n = c4textToLong(d->record + f->offset, f->len);
    unsigned len = 0;
    const int rc = memo4fileRead(memoFileOf(f), n, &m->contents, &m->lenMax, &len);
    if (rc == 0)
        m->len = len;
    else if (m->contents)
        m->contents[0] = 0;
    return rc;
}

int f4memoSetLen(FIELD4* f, unsigned len) {
    if (!f)
        return error4raise(nullptr, e4parmNull, 10605);
    F4MEMO* m = f->memo;
    if (!m)
        return error4raise(f->data->c4, e4parm, 10606);
    if (u4blockGrow(f->data->c4, &m->contents, &m->lenMax, len + 1) != 0) {
        m->len = 0;
        m->status = 1;
        return error4raise(f->data->c4, e4memory, 10607);
    }
    m->len = len;
    m->contents[len] = 0;
    m->status = 0;
    m->isChanged = 1;
    f->data->recordChanged = 1;
    return 0;
}

int f4memoAssignN(FIELD4* f, const char* text, unsigned len) {
    if (!f || (!text && len))
        return error4raise(nullptr, e4parmNull, 10608);
    CODE4GUARD guard(f->data->c4->mutex);
    int rc = d4writeCheck(f->data);
    if (rc != 0)
        return rc;
    if (len >= 0xFFFFFF80u)
        return error4raise(f->data->c4, e4memory, 10609);
    if (!f->memo)
        return f4assignN(f, text, len);
    rc = f4memoSetLen(f, len);
    if (rc != 0)
        return rc;
    if (len)
        std::memcpy(f->memo->contents, text, len);
    return 0;
}

int f4memoAssign(FIELD4* f, const char* text) {
    return f4memoAssignN(f, text, text ? unsigned(std::strlen(text)) : 0);
}

unsigned f4memoLen(FIELD4* f) {
    if (!f)
        return 0;
    if (!f->memo)
        return f->len;
    CODE4GUARD guard(f->data->c4->mutex);
    if (f->memo->status == 1)
        f4memoRead(f);
    return f->memo->len;
}

char* f4memoPtr(FIELD4* f) {
    if (!f)
        return nullptr;
    if (!f->memo)
        return f4ptr(f);
    CODE4GUARD guard(f->data->c4->mutex);
    if (f->memo->status == 1)
        f4memoRead(f);
    if (!f->memo->contents && u4blockGrow(f->data->c4, &f->memo->contents, &f->memo->lenMax, 1) == 0)
        f->memo->contents[0] = 0;
    return f->memo->contents;
}

char* f4memoStr(FIELD4* f) {
    if (f && !f->memo)
        return f4str(f);
    return f4memoPtr(f);
}

int f4memoWrite(FIELD4* f) {
    F4MEMO* m = f->memo;
    if (!m || !m->isChanged)
        return 0;
    DATA4* d = f->data;
    long n = c4textToLong(d->record + f->offset, f->len);
    const long old = n;
    const int rc = memo4fileWrite(memoFileOf(f), &n, m->contents, m->len);
    if (rc > 0)
        return rc; // the memo file's lock was refused: nothing written
    if (rc != 0)
        return d->c4->errorLatch < 0 ? d->c4->errorLatch : -1;
    if (n != old || (n == 0 && d->record[f->offset + f->len - 1] != ' ')) {
        if (n == 0)
            std::memset(d->record + f->offset, ' ', f->len);
        else
            c4longToText(n, d->record + f->offset, f->len);
    }
    m->isChanged = 0;
    return 0;
}

int f4memoFlush(FIELD4* f) {
    return f4memoWrite(f);
}

void d4memoReset(DATA4* d) {
    for (int i = 0; i < d->nFieldsMemo; i++)
        f4memoReset(d->fieldsMemo[i].field);
}

int d4memoFlush(DATA4* d) {
    for (int i = 0; i < d->nFieldsMemo; i++) {
        const int rc = f4memoFlush(d->fieldsMemo[i].field);
        if (rc != 0)
            return rc;
    }
    return 0;
}

void d4memoFree(DATA4* d) {
    for (int i = 0; i < d->nFieldsMemo; i++) {
        u4blockFree(d->fieldsMemo[i].contents);
        d->fieldsMemo[i].contents = nullptr;
        d->fieldsMemo[i].lenMax = 0;
    }
}
