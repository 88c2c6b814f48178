// A file layer under test control: counts system calls, fails chosen ones, and waits without sleeping.
#pragma once

#include "xbase/file4.h"

#include <cerrno>
#include <fcntl.h>
#include <utility>
#include <vector>

namespace xbt {

struct FakeSys4 : FILE4SYS {
    int opens = 0, reads = 0, writes = 0, syncs = 0, locks = 0, sleeps = 0;
    int failOpenErrno = 0;                      // open fails with this errno
    int failSync = 0;                           // fsync fails
    int shortWriteBy = 0;                       // every write stores this many bytes fewer
    int shortWrites = -1;                       // ... for this many writes (-1: every one)
    long readLimit = -1;                        // reads see the file as this long
    int refuseLocks = 0;                        // every lock attempt finds the range held
    int lockErrno = 0;                          // lock calls fail with this errno
    time_t clock = 1767225600;                  // 2026-01-01 00:00:00 UTC
    std::vector<std::pair<int, long>> writeLog; // descriptor and position of every write, in order

    int open(const char* path, int flags, int mode) override {
        opens++;
        if (failOpenErrno)
            return -failOpenErrno;
        return FILE4SYS::open(path, flags, mode);
    }
    long pread(int fd, void* buf, long len, long pos) override {
        reads++;
        if (readLimit >= 0) {
            if (pos >= readLimit)
                return 0;
            if (pos + len > readLimit)
                len = readLimit - pos;
        }
        return FILE4SYS::pread(fd, buf, len, pos);
    }
    long pwrite(int fd, const void* buf, long len, long pos) override {
        writes++;
        writeLog.emplace_back(fd, pos);
        if (shortWriteBy && shortWrites != 0) {
            if (shortWrites > 0)
                shortWrites--;
            return len > shortWriteBy ? FILE4SYS::pwrite(fd, buf, len - shortWriteBy, pos) : 0;
        }
        return FILE4SYS::pwrite(fd, buf, len, pos);
    }
    int fsync(int fd) override {
        syncs++;
        return failSync ? -EIO : FILE4SYS::fsync(fd);
    }
    int lock(int fd, long offset, long len, int type) override {
        locks++;
        if (lockErrno && type != F_UNLCK && offset < 2000000000L)
            return -lockErrno;
        if (refuseLocks && type != F_UNLCK && offset < 2000000000L)
            return -EAGAIN;
        return FILE4SYS::lock(fd, offset, len, type);
    }
    time_t now() override { return clock; }
    void sleepHundredths(int) override { sleeps++; }
    void resetCounts() {
        opens = reads = writes = syncs = locks = sleeps = 0;
        writeLog.clear();
    }
};

} // namespace xbt
