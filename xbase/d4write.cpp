// Record write: the data and, through the index layer, the keys of every tag.
#include "d4write.h"

#include "d4data.h"
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

// d4writeKeys, d4unwriteKeys, d4appendKeys, d4indexes* and d4skipTag belong to the index layer (i4index.cpp).
