#include "d4data.h"

#include "c4conv.h"
#include "d4internal.h"
#include "d4write.h"
#include "lock4.h"
#include "log4.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool hasMemoFlag(unsigned char version, unsigned char tableFlags) {
    if (version == 0x30)
        return (tableFlags & 0x02) != 0;
    return (version & 0x80) != 0;
}

bool isMemoType(char type, unsigned char version) {
    return type == 'M' || type == 'G' || (type == 'B' && version != 0x30);
}

// The memo file's name: the data file's with the extension "DBT", in the case of the data file's extension.
void memoName(char* out, int size, const char* dataName) {
    u4ncpy(out, dataName, unsigned(size));
    char ext[8];
    u4nameRetExt(ext, sizeof ext, dataName);
    const bool lower = ext[0] >= 'a' && ext[0] <= 'z';
    u4nameExtKeepCase(out, size, lower ? "dbt" : "DBT", 1);
}

POOL4* ensurePool(CODE4* c4, POOL4** pool, int start, int unitSize, int expand) {
    if (!*pool)
        *pool = pool4create(c4, start, unitSize, expand, 0);
    return *pool;
}

int stricter(int a, int b) // share modes from least to most strict: 0, 2, 1
{
    auto rank = [](int m) { return m == 0 ? 0 : m == 2 ? 1 : 2; };
    return rank(a) > rank(b);
}

void releaseDataFile(DATA4* d, int* firstError) {
    DATA4FILE* df = d->dataFile;
    CODE4* c4 = d->c4;
    d->dataFile = nullptr;
    if (--df->userCount > 0)
        return;
    if (df->fileChanged && !df->file.isReadOnly && df->file.hand >= 0) {
        // Only the version and the date: the count is written under the append lock when records are added, and
        // writing a count read earlier could hide records another program has added since.
        unsigned char head[4];
        head[0] = df->version;
        date4headerDate(head + 1, code4sys(c4)->now());
        const int rc = file4write(&df->file, 0, head, 4);
        if (rc < 0 && *firstError == 0)
            *firstError = rc;
    }
    if (df->memoFile.isOpen)
        file4close(&df->memoFile.file);
    if (df->file.hand >= 0)
        file4close(&df->file);
    while (void* lock = l4pop(&df->lockedRecords))
        pool4give(c4->lockMemory, lock);
    u4blockFree(df->descriptors);
    u4blockFree(df->name);
    l4remove(&c4->dataFileList, df);
    pool4give(c4->dataFileMemory, df);
}

// Reads the header and descriptors of a newly opened file and checks them. 0 or the error raised.
int dataFileLoad(CODE4* c4, DATA4FILE* df, const char* name) {
    // The header before the length: another program appending writes a record before the count that counts it, so
    // a count read first never names more records than a length read after it finds. Read the other way round, two
    // appends landing between the reads would make the count look past the records.
    unsigned char head[32];
    const unsigned got = file4read(&df->file, 0, head, 32);
    if (c4->errorLatch < 0)
        return c4->errorLatch;
    const long len = file4len(&df->file);
    if (len < 0)
        return int(len);
    // A file shorter than its fixed header is no data file at all (a zero-length file included).
    if (got < 32 || len < 32)
        return error4raiseText(c4, e4data, 10201, name);
    df->version = head[0];
    df->yy = head[1];
    df->mm = head[2];
    df->dd = head[3];
    df->numRecs = c4readI32(head + 4);
    df->headerLen = c4readU16(head + 8);
    df->recWidth = c4readU16(head + 10);
    df->tableFlags = head[28];
    if (df->recWidth == 0 || df->headerLen <= 32 || long(df->headerLen) > len)
        return error4raiseText(c4, e4data, 10202, name);
    // The count is the truth: whole records past it are what a program stopped between writing a record and its count
    // left behind, and the next append writes over them. Shared, the count may also be one ahead of the records, as
    // another program may be writing one; held alone, no one can be, and such a count names a record that is missing.
    const long present = (len - long(df->headerLen)) / long(df->recWidth);
    if (df->numRecs < 0 || df->numRecs > present + 1 ||
        ((c4->shareMode == 1 || c4->shareMode == 2) && df->numRecs > present))
        return error4raiseText(c4, e4data, 10203, name);

    const unsigned descLen = df->headerLen - 32;
    df->descriptors = static_cast<char*>(u4blockAllocEr(c4, descLen + 1));
    if (!df->descriptors)
        return e4memory;
    const int rc = file4readAll(&df->file, 32, df->descriptors, descLen);
    if (rc < 0)
        return rc;

    // Fields up to the 0x0D that ends the descriptors, or to the end of the header when it has none.
    const auto* desc = reinterpret_cast<const unsigned char*>(df->descriptors);
    unsigned long width = 1;
    int n = 0, nMemo = 0;
    for (unsigned off = 0; off + 32 <= descLen && desc[off] != 0x0D; off += 32, n++) {
        char type = char(desc[off + 11]);
        if (type >= 'a' && type <= 'z')
            type = char(type - 'a' + 'A');
        unsigned w = desc[off + 16];
        switch (type) {
        case 'C':
            w += 256u * desc[off + 17];
            break;
        case 'N':
        case 'F':
        case 'D':
        case 'L':
        case 'M':
        case 'G':
        case 'B':
            break;
        default:
            return error4raiseText(c4, e4data, 10204, name);
        }
        if (isMemoType(type, df->version))
            nMemo++;
        width += w;
    }
    // Offsets are 16-bit and every field must lie inside the record as the header measures it; a header that says
    // otherwise would send field reads and writes past the record buffer.
    if (width > 65535)
        return error4raiseText(c4, e4recordLen, 10205, name);
    if (width > df->recWidth)
        return error4raiseText(c4, e4data, 10206, name);
    df->recWidthFields = unsigned(width);
    df->nFields = n;
    df->nFieldsMemo = nMemo;
    if (hasMemoFlag(df->version, df->tableFlags)) {
        char mname[PATH_MAX];
        memoName(mname, sizeof mname, df->file.name);
        const int memoRc = memo4fileOpen(&df->memoFile, df, mname);
        if (memoRc != 0)
            return memoRc;
    }
    return 0;
}

int buildHandle(DATA4* d, const char* fullName) {
    CODE4* c4 = d->c4;
    DATA4FILE* df = d->dataFile;
    u4namePiece(d->alias, sizeof d->alias, fullName, 0, 0);
    const unsigned rw = df->recWidth;
    d->record = static_cast<char*>(u4blockAllocEr(c4, rw + 1));
    d->recordOld = static_cast<char*>(u4blockAllocEr(c4, rw + 1));
    d->nFields = df->nFields;
    d->fields = d->nFields ? static_cast<FIELD4*>(u4blockAllocEr(c4, sizeof(FIELD4) * size_t(d->nFields))) : nullptr;
    d->nFieldsMemo = df->memoFile.isOpen ? df->nFieldsMemo : 0;
    d->fieldsMemo =
        d->nFieldsMemo ? static_cast<F4MEMO*>(u4blockAllocEr(c4, sizeof(F4MEMO) * size_t(d->nFieldsMemo))) : nullptr;
    if (!d->record || !d->recordOld || (d->nFields && !d->fields) || (d->nFieldsMemo && !d->fieldsMemo))
        return e4memory;
    const auto* desc = reinterpret_cast<const unsigned char*>(df->descriptors);
    unsigned offset = 1;
    int memoIndex = 0;
    for (int i = 0; i < d->nFields; i++) {
        const unsigned char* p = desc + 32 * i;
        FIELD4* f = &d->fields[i];
        std::memcpy(f->name, p, 10);
        f->name[10] = 0;
        c4toUpper(f->name);
        char type = char(p[11]);
        if (type >= 'a' && type <= 'z')
            type = char(type - 'a' + 'A');
        f->type = (unsigned short)type;
        f->len = p[16];
        f->dec = 0;
        if (type == 'C')
            f->len = (unsigned short)(p[16] + 256 * p[17]);
        else if (type == 'N' || type == 'F' || (type == 'B' && df->version == 0x30))
            f->dec = p[17];
        f->offset = (unsigned short)offset;
        f->data = d;
        offset += f->len;
        if (isMemoType(type, df->version) && memoIndex < d->nFieldsMemo) {
            F4MEMO* m = &d->fieldsMemo[memoIndex++];
            m->field = f;
            m->status = 1;
            f->memo = m;
        }
    }
    blankRecord(d);
    d->recNum = d->recNumOld = -1;
    d->count = df->numRecs;
    return 0;
}

} // namespace

// ---- open and close ----

DATA4* d4open(CODE4* c4, const char* name) {
    if (!c4 || !name) {
        error4raise(nullptr, e4parmNull, 10207);
        return nullptr;
    }
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return nullptr;
    if (c4->logOpen && !c4->log.isOpen) {
        if (code4logOpen(c4, nullptr, nullptr) < 0)
            return nullptr;
        c4->errorLatch = 0;
    }
    if (!ensurePool(c4, &c4->dataMemory, 10, sizeof(DATA4), 5) ||
        !ensurePool(c4, &c4->dataFileMemory, 5, sizeof(DATA4FILE), 5)) {
        error4raise(c4, e4memory, 10208);
        return nullptr;
    }
    auto* d = static_cast<DATA4*>(pool4take(c4->dataMemory, c4));
    if (!d) {
        error4raise(c4, e4memory, 10209);
        return nullptr;
    }
    d->c4 = c4;
    d->recNum = d->recNumOld = -1;
    l4add(&c4->dataList, d);

    char fullName[PATH_MAX], diskName[PATH_MAX];
    if (u4nameCurrent(fullName, sizeof fullName - 4, name) != 0 || u4nameFull(diskName, sizeof diskName - 4, name)) {
        error4raiseText(c4, e4parm, 10210, name);
        d4close(d);
        return nullptr;
    }
    u4nameExt(fullName, sizeof fullName, "DBF", 0);
    u4nameExtKeepCase(diskName, sizeof diskName, "DBF", 0);

    DATA4FILE* df = nullptr;
    for (void* p = l4first(&c4->dataFileList); p; p = l4next(&c4->dataFileList, p))
        if (std::strcmp(static_cast<DATA4FILE*>(p)->name, fullName) == 0)
            df = static_cast<DATA4FILE*>(p);
    int rc = 0;
    if (df) {
        if (c4->duplicateOpenCheck)
            rc = error4raiseText(c4, e4instance, 10211, fullName);
        else if (stricter(c4->shareMode, df->shareModeOpen))
            rc = error4raiseText(c4, e4access, 10212, fullName);
        else {
            df->userCount++;
            d->dataFile = df;
        }
    } else {
        df = static_cast<DATA4FILE*>(pool4take(c4->dataFileMemory, c4));
        if (!df)
            rc = error4raise(c4, e4memory, 10213);
        else {
            df->c4 = c4;
            df->file.hand = -1;
            df->memoFile.file.hand = -1;
            df->userCount = 1;
            df->minCount = -1;
            df->countChecked = -1;
            df->shareModeOpen = c4->shareMode;
            l4add(&c4->dataFileList, df);
            d->dataFile = df;
            const size_t n = std::strlen(fullName) + 1;
            df->name = static_cast<char*>(u4blockAllocEr(c4, n));
            if (!df->name)
                rc = e4memory;
            else {
                std::memcpy(df->name, fullName, n);
                rc = file4open(&df->file, c4, diskName, 1);
                if (rc == 0)
                    rc = dataFileLoad(c4, df, fullName);
            }
        }
    }
    if (rc == 0)
        rc = buildHandle(d, fullName);
    if (rc == 0)
        rc = d4indexesOpen(d, df->userCount == 1);
    if (rc != 0) {
        // d4close keeps the latched error aside and puts it back; a silent open failure leaves its 70.
        const int latched = c4->errorLatch;
        d4close(d);
        if (latched > 0)
            c4->errorLatch = latched;
        return nullptr;
    }
    d->clientId = ++c4->handleCounter;
    d->readOnly = df->file.isReadOnly || c4->readOnlyOpen;
    if (c4->log.isOpen) {
        d->log = c4->dataLogDefault;
        log4openEntry(d);
    }
    return d;
}

int d4close(DATA4* d) {
    if (!d)
        return error4raise(nullptr, e4parmNull, 10214);
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    const int oldTries = c4->lockTries;
    c4->lockTries = -1;
    int saved = 0, first = 0;
    if (c4->errorLatch == e4unique)
        d->recordChanged = 0;
    if (c4->errorLatch < 0)
        saved = error4set(c4, 0);
    auto keep = [&](int rc) {
        if (rc < 0 && first == 0)
            first = rc;
        if (c4->errorLatch < 0)
            c4->errorLatch = 0; // later steps must still run; the first error is reported at the end
    };
    if (d->dataFile) {
        if (c4->lockedAlias == d->alias) {
            c4->lockedAlias = nullptr;
            c4->lockedRecord = 0;
        }
        int rc = d4updateRecord(d, 0);
        if (rc == e4unique)
            d->recordChanged = 0;
        keep(rc);
        if (c4->log.isOpen && d->clientId) {
            rc = log4closeEntry(d);
            keep(rc < 0 ? e4logAppend : 0);
        }
        keep(d4unlockLow(d));
        keep(d4indexesClose(d));
        d4memoFree(d);
        releaseDataFile(d, &first);
        if (c4->errorLatch < 0)
            c4->errorLatch = 0;
    } else if (c4->errorLatch < 0) {
        c4->errorLatch = 0;
    }
    u4blockFree(d->fields);
    u4blockFree(d->fieldsMemo);
    u4blockFree(d->record);
    u4blockFree(d->recordOld);
    l4remove(&c4->dataList, d);
    pool4give(c4->dataMemory, d);
    c4->lockTries = oldTries;
    if (saved < 0) {
        c4->errorLatch = saved;
        return saved;
    }
    if (first < 0) {
        c4->errorLatch = first;
        return first;
    }
    return 0;
}

// ---- create ----

DATA4* d4create(CODE4* c4, const char* name, const FIELD4INFO* fields) {
    if (!c4 || !name || !fields) {
        error4raise(nullptr, e4parmNull, 10215);
        return nullptr;
    }
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return nullptr;
    int n = 0;
    bool memo = false;
    unsigned long width = 1;
    for (; fields[n].name; n++) {
        const FIELD4INFO& f = fields[n];
        const size_t nl = std::strlen(f.name);
        bool nameOk = nl >= 1 && nl <= 10;
        for (size_t i = 0; i < nl; i++)
            nameOk = nameOk && c4nameChar((unsigned char)f.name[i]);
        if (!nameOk) {
            error4raiseText(c4, e4fieldName, 10216, f.name);
            return nullptr;
        }
        unsigned w = f.len;
        switch (f.type) {
        case 'C':
            if (w < 1) {
                error4raiseText(c4, e4parm, 10217, f.name);
                return nullptr;
            }
            break;
        case 'N':
        case 'F':
            if (w < 1 || w > 255 || (f.dec && unsigned(f.dec) + 2 > w)) {
                error4raiseText(c4, e4parm, 10218, f.name);
                return nullptr;
            }
            break;
        case 'D':
            w = 8;
            break;
        case 'L':
            w = 1;
            break;
        case 'M':
            w = 10;
            memo = true;
            break;
        default:
            error4raiseText(c4, e4fieldType, 10219, f.name);
            return nullptr;
        }
        width += w;
    }
    if (width > 65535) {
        error4raiseText(c4, e4recordLen, 10220, name);
        return nullptr;
    }
    char path[PATH_MAX];
    if (u4nameFull(path, sizeof path - 4, name) != 0) {
        error4raiseText(c4, e4parm, 10221, name);
        return nullptr;
    }
    bool lower = false;
    for (const char* p = std::strrchr(path, '/'); p && *p; p++)
        lower = lower || (*p >= 'a' && *p <= 'z');
    u4nameExtKeepCase(path, sizeof path, lower ? "dbf" : "DBF", 0);

    const unsigned headerLen = 32 + 32 * unsigned(n) + 1;
    std::string image(headerLen + 1, '\0');
    auto* h = reinterpret_cast<unsigned char*>(image.data());
    h[0] = memo ? 0x83 : 0x03;
    date4headerDate(h + 1, code4sys(c4)->now());
    c4putU32(h + 4, 0);
    c4putU16(h + 8, headerLen);
    c4putU16(h + 10, unsigned(width));
    for (int i = 0; i < n; i++) {
        unsigned char* p = h + 32 + 32 * i;
        const FIELD4INFO& f = fields[i];
        for (size_t k = 0; k < std::strlen(f.name); k++)
            p[k] = (unsigned char)((f.name[k] >= 'a' && f.name[k] <= 'z') ? f.name[k] - 'a' + 'A' : f.name[k]);
        p[11] = (unsigned char)f.type;
        unsigned w = f.type == 'D' ? 8 : f.type == 'L' ? 1 : f.type == 'M' ? 10 : f.len;
        p[16] = (unsigned char)(w & 0xFF);
        p[17] = (unsigned char)(f.type == 'C' ? w >> 8 : (f.type == 'N' || f.type == 'F') ? f.dec : 0);
    }
    h[headerLen - 1] = 0x0D;
    h[headerLen] = 0x1A;

    FILEREC4 file;
    int rc = file4create(&file, c4, path, 1);
    if (rc != 0)
        return nullptr;
    rc = file4write(&file, 0, image.data(), unsigned(image.size()));
    if (rc == 0)
        rc = file4flush(&file);
    file4close(&file);
    if (rc == 0 && memo) {
        char mname[PATH_MAX];
        memoName(mname, sizeof mname, path);
        MEMO4FILE m{};
        rc = memo4fileCreate(&m, c4, mname);
        if (rc == 0)
            file4close(&m.file);
    }
    if (rc != 0)
        return nullptr;
    return d4open(c4, path);
}

// ---- field names ----

int d4fieldNumber(DATA4* d, const char* name) {
    if (!d || !name)
        return error4raise(d ? d->c4 : nullptr, e4parmNull, 10238);
    char buf[256];
    u4ncpy(buf, name, sizeof buf);
    c4trimBlanks(buf, sizeof buf);
    c4toUpper(buf);
    for (int i = 0; i < d->nFields; i++)
        if (std::strcmp(d->fields[i].name, buf) == 0)
            return i + 1;
    if (d->c4->fieldNameErrors)
        return error4raiseText(d->c4, e4fieldName, 10239, name);
    return e4fieldName;
}

FIELD4* d4fieldJ(DATA4* d, int j) {
    if (!d) {
        error4raise(nullptr, e4parmNull, 10240);
        return nullptr;
    }
    if (j < 1 || j > d->nFields) {
        error4raise(d->c4, e4parm, 10241);
        return nullptr;
    }
    return &d->fields[j - 1];
}

FIELD4* d4field(DATA4* d, const char* name) {
    const int j = d4fieldNumber(d, name);
    return j > 0 ? &d->fields[j - 1] : nullptr;
}
