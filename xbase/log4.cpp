#include "log4.h"

#include "c4conv.h"
#include "d4data.h"
#include "lock4.h"

#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

namespace {

constexpr int log4stateOpen = 110;

void putU16(std::string& s, unsigned v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}

void putU32(std::string& s, unsigned long v) {
    for (int i = 0; i < 4; i++)
        s += char((v >> (8 * i)) & 0xFF);
}

// Writes one entry at the end of the log: its total length, the data and the 26-byte header; then flushes.
int logWrite(CODE4* c4, int type, long clientId, long dataId, long serverDataId, const std::string& data) {
    LOG4& log = c4->log;
    std::string e;
    putU32(e, (unsigned long)(data.size() + 30));
    e += data;
    putU32(e, 0); // transaction id
    putU32(e, (unsigned long)clientId);
    putU32(e, (unsigned long)dataId);
    putU32(e, (unsigned long)serverDataId);
    putU16(e, unsigned(type));
    putU32(e, (unsigned long)data.size());
    putU32(e, (unsigned long)code4sys(c4)->now());
    const long end = file4len(&log.file);
    if (end < 0)
        return e4logAppend;
    if (file4write(&log.file, end, e.data(), unsigned(e.size())) != 0 || file4flush(&log.file) != 0)
        return e4logAppend;
    return 0;
}

// Locks and at once unlocks every slot byte; 1 when another user holds one.
int otherUserActive(CODE4* c4) {
    FILEREC4* f = &c4->log.file;
    FILE4SYS* sys = code4sys(c4);
    for (long off = lock4logScanStart; off <= lock4logScanEnd; off++) {
        if (c4->log.slot >= 0 && off == lock4logSlot + c4->log.slot)
            continue; // our own slot
        if (sys->lock(f->hand, off, 1, F_WRLCK) != 0)
            return 1;
        sys->lock(f->hand, off, 1, F_UNLCK);
    }
    return 0;
}

int logCheck(CODE4* c4) {
    FILEREC4* f = &c4->log.file;
    // The verification lock is waited for as the context's lockTries say; a bounded wait that runs out means
    // another user is checking the log right now, so this one is active and the check is skipped.
    int rc = file4lock(f, lock4logVerify, 1);
    if (rc == r4locked)
        return 0;
    if (rc != 0)
        return rc;
    if (otherUserActive(c4)) {
        file4unlock(f, lock4logVerify, 1);
        return 0;
    }
    const long len = file4len(f);
    unsigned char b[30];
    if (len < 0)
        rc = int(len);
    else if (len < 30)
        rc = error4raiseText(c4, e4transError, 10801, f->name);
    else if ((rc = file4readAll(f, 0, b, 30)) == 0) {
        if (c4readU32(b) != 30)
            rc = error4raiseText(c4, e4read, 10802, f->name);
        else if ((b[20] | b[21] << 8) == 17)
            rc = error4raiseText(c4, e4transError, 10803, f->name);
        else if ((rc = file4readAll(f, len - 30, b, 30)) == 0 && (c4readU32(b) != 30 || (b[20] | b[21] << 8) != 16))
            rc = error4raiseText(c4, e4transError, 10804, f->name);
    }
    file4unlock(f, lock4logVerify, 1);
    return rc;
}

} // namespace

int code4logOpen(CODE4* c4, const char* name, const char* userId) {
    if (!c4)
        return error4raise(nullptr, e4parmNull, 10805);
    CODE4GUARD guard(c4->mutex);
    if (!userId || !*userId)
        userId = "PUBLIC";
    LOG4& log = c4->log;
    if (log.isOpen)
        return r4logOpen;
    if (!name || !*name)
        name = "C4.LOG";
    char path[PATH_MAX];
    u4ncpy(path, name, sizeof path - 5);
    u4nameExtKeepCase(path, sizeof path, "log", 0);

    const int oldErrors = c4->openErrors, oldReadOnly = c4->readOnlyOpen, oldLatch = c4->errorLatch;
    const unsigned char oldShare = c4->shareMode;
    c4->openErrors = 0;
    c4->readOnlyOpen = 0;
    c4->shareMode = 0;
    int rc = file4open(&log.file, c4, path, 1);
    c4->openErrors = oldErrors;
    c4->readOnlyOpen = oldReadOnly;
    c4->shareMode = oldShare;
    if (rc != 0) {
        if (rc == r4noOpen)
            c4->errorLatch = oldLatch;
        return r4noOpen;
    }
    rc = logCheck(c4);
    if (rc != 0) {
        const int latched = c4->errorLatch;
        file4close(&log.file);
        c4->errorLatch = latched;
        return -1;
    }
    const size_t n = std::strlen(path) + 1;
    log.fileName = static_cast<char*>(u4blockAlloc(n));
    if (log.fileName)
        std::memcpy(log.fileName, path, n);
    log.isOpen = 1;
    log.state = log4stateOpen;

    // Join: the first free slot, held while the context runs. Its result is not returned: the caller clears the
    // latch, and a failed join leaves the log open without a slot.
    if (log.slot < 0) {
        const int oldTries = c4->lockTries;
        c4->lockTries = 0;
        for (int i = 0; i < 1000 && log.slot < 0; i++)
            if (file4lock(&log.file, lock4logSlot + i, 1) == 0)
                log.slot = i;
        c4->lockTries = oldTries;
        if (log.slot < 0) {
            error4raise(c4, e4max, 10806);
            return 0;
        }
    }
    u4ncpy(log.userId, userId, sizeof log.userId);
    log.netId[0] = 0;
    std::string data;
    putU16(data, 0); // network id: none
    putU16(data, unsigned(std::strlen(log.userId)));
    data += log.userId;
    if (logWrite(c4, 15, 0, 0, 0, data) != 0)
        error4raise(c4, e4logAppend, 10807);
    return 0;
}

int code4logClose(CODE4* c4) {
    if (!c4)
        return e4parmNull;
    CODE4GUARD guard(c4->mutex);
    LOG4& log = c4->log;
    if (!log.isOpen)
        return 0;
    // The last user to leave finishes the log cleanly, so that the next first user's check accepts it.
    int rc = 0;
    if (file4lock(&log.file, lock4logVerify, 1) == 0) {
        if (!otherUserActive(c4))
            rc = logWrite(c4, 16, 0, 0, 0, std::string());
        file4unlock(&log.file, lock4logVerify, 1);
    }
    file4close(&log.file);
    u4blockFree(log.fileName);
    log.fileName = nullptr;
    log.isOpen = 0;
    log.slot = -1;
    return rc;
}

int log4openEntry(DATA4* d) {
    CODE4* c4 = d->c4;
    DATA4FILE* df = d->dataFile;
    std::string data;
    const std::string name = df->name;
    putU16(data, unsigned(name.size()));
    data += name;
    putU32(data, df->recWidth);
    putU16(data, unsigned(df->nFields));
    putU32(data, (unsigned long)df->numRecs);
    struct stat st {};
    ::stat(df->file.name, &st);
    putU32(data, (unsigned long)st.st_atime);
    data += char(df->yy);
    data += char(df->mm);
    data += char(df->dd);
    return logWrite(c4, 1, 0, d->clientId, d->clientId, data);
}

int log4closeEntry(DATA4* d) {
    return logWrite(d->c4, 3, 0, d->clientId, d->clientId, std::string());
}
