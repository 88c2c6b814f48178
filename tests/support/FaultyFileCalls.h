#pragma once
// File writes that fail where a test says: a disk that fills up after so many bytes, or an I/O error at the
// sync, the close or the rename. Installed for the lifetime of the object; every writer of the program goes
// through it (plat::AtomicFile).
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <set>

class FaultyFileCalls : public plat::FileCalls {
public:
    enum class Step { None, Open, Write, Sync, Close, Rename, SyncFolder };

    // step fails with error. For Write, room is how many bytes the disk takes before it is full: the write
    // that reaches the limit is short, the next one fails.
    FaultyFileCalls(Step step, int error, size_t room = 0) : step_(step), error_(error), room_(room) {
        previous_ = plat::setFileCalls(this);
    }
    ~FaultyFileCalls() override { plat::setFileCalls(previous_); }
    FaultyFileCalls(const FaultyFileCalls&) = delete;
    FaultyFileCalls& operator=(const FaultyFileCalls&) = delete;

    // Every write takes at most this many bytes, and each is first interrupted by a signal once (EINTR), as
    // a slow or busy disk may do. 0: writes take all they are given.
    void setStingy(size_t chunk) { chunk_ = chunk; }

    size_t written() const { return written_; }
    int failures() const { return failures_; }

    int open(const char* path, int flags, mode_t mode) override {
        const bool folder = (flags & O_DIRECTORY) != 0;
        if (fails(folder ? Step::None : Step::Open))
            return -1;
        const int fd = plat::FileCalls::open(path, flags, mode);
        if (fd >= 0)
            (folder ? folders_ : files_).insert(fd);
        return fd;
    }
    ssize_t write(int fd, const void* data, size_t size) override {
        if (chunk_ > 0) {
            interrupted_ = !interrupted_;
            if (interrupted_) {
                errno = EINTR;
                return -1;
            }
            size = std::min(size, chunk_);
        }
        if (step_ == Step::Write) {
            if (written_ >= room_)
                return fail();
            size = std::min(size, room_ - written_);
        }
        const ssize_t n = plat::FileCalls::write(fd, data, size);
        if (n > 0)
            written_ += static_cast<size_t>(n);
        return n;
    }
    int fsync(int fd) override {
        if (fails(folders_.count(fd) ? Step::SyncFolder : Step::Sync))
            return -1;
        return plat::FileCalls::fsync(fd);
    }
    int close(int fd) override {
        const bool file = files_.erase(fd) > 0;
        folders_.erase(fd);
        // The descriptor is released whatever close says, as on Linux.
        const int rc = plat::FileCalls::close(fd);
        if (file && fails(Step::Close))
            return -1;
        return rc;
    }
    int rename(const char* from, const char* to) override {
        if (fails(Step::Rename))
            return -1;
        return plat::FileCalls::rename(from, to);
    }
    int renameNoReplace(const char* from, const char* to) override {
        if (fails(Step::Rename))
            return -1;
        return plat::FileCalls::renameNoReplace(from, to);
    }

private:
    bool fails(Step step) {
        if (step != step_ || step == Step::None)
            return false;
        fail();
        return true;
    }
    int fail() {
        ++failures_;
        errno = error_;
        return -1;
    }

    plat::FileCalls* previous_ = nullptr;
    Step step_;
    int error_;
    size_t room_;
    size_t chunk_ = 0;
    bool interrupted_ = false;
    size_t written_ = 0;
    int failures_ = 0;
    std::set<int> files_;
    std::set<int> folders_;
};
