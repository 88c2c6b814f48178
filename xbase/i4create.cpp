// Making an NTX file: the header and an empty root page, then the keys of every record of the data file.
#include "t4internal.h"

#include <cstring>
#include <vector>

INDEX4* i4create(DATA4* d, const char* nameIn, const char* keyExpr, const char* filterExpr, int unique,
                 int descending) {
    if (!d || !nameIn || !keyExpr) {
        error4raise(d ? d->c4 : nullptr, e4parmNull, loc4index);
        return nullptr;
    }
    CODE4* c4 = d->c4;
    CODE4GUARD guard(c4->mutex);
    if (c4->errorLatch < 0)
        return nullptr;
    EXPR4* e = expr4parse(d, keyExpr);
    if (!e)
        return nullptr;
    int keyLen = expr4keyLen(e);
    const char type = expr4type(e);
    const int keyDec = type == 'N' ? e->keyDec : (type == 'n' ? c4->expr.decimals : 0);
    expr4free(e);
    if (filterExpr && *filterExpr) {
        EXPR4* f = expr4parse(d, filterExpr);
        if (!f)
            return nullptr;
        const char ft = expr4type(f);
        expr4free(f);
        if (ft != 'L') {
            error4raiseText(c4, e4tagInfo, loc4index, filterExpr);
            return nullptr;
        }
    }
    // The largest even key count whose page (slot table and max + 1 entries) fits 1024 bytes; half of it is
    // the least fill of a page.
    int keysMax = keyLen > 0 ? 1022 / (keyLen + 10) - 1 : 0;
    keysMax -= keysMax % 2;
    if (keyLen <= 0 || keyLen > t4maxKeyLen || keysMax < 2 ||
        (type != 'C' && type != 'N' && type != 'n' && type != 'D' && type != 'd') || std::strlen(keyExpr) > 254 ||
        (filterExpr && std::strlen(filterExpr) > 254)) {
        error4raiseText(c4, e4tagInfo, loc4index, keyExpr);
        return nullptr;
    }
    char name[260];
    u4ncpy(name, nameIn, sizeof name);
    // Like a data file made by the engine, the file takes the case of the name it is given.
    bool lower = false;
    for (const char* p = std::strrchr(name, '/') ? std::strrchr(name, '/') : name; *p; ++p)
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
    unsigned char* root = page + t4pageSize;
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
    INDEX4* index = i4open(d, name);
    tfile4openFresh(0);
    if (!index)
        return nullptr;
    TAG4* tag = i4tag(index);
    TAG4FILE* t = tag->tagFile;
    DATA4FILE* df = d->dataFile;
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
                rc = r < 0 ? r : e4unique;
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
