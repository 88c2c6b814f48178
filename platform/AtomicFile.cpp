#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

int FileCalls::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
ssize_t FileCalls::write(int fd, const void* data, size_t size) {
    return ::write(fd, data, size);
}
int FileCalls::fsync(int fd) {
    return ::fsync(fd);
}
int FileCalls::close(int fd) {
    return ::close(fd);
}
int FileCalls::rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int FileCalls::renameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // A file system without the flag: a second name never replaces a file either.
    if (::link(from, to) != 0)
        return -1;
    ::unlink(from);
    return 0;
}

namespace {
FileCalls g_systemCalls;
std::atomic<FileCalls*> g_calls{&g_systemCalls};

FileCalls& calls() {
    return *g_calls.load(std::memory_order_acquire);
}

// fsync that is not given up on a signal.
int syncFd(int fd) {
    int rc;
    do
        rc = calls().fsync(fd);
    while (rc != 0 && errno == EINTR);
    return rc;
}

// The folder's entry for the renamed file reaches the disk, so a power cut right after a save cannot bring
// back the old file, or no file. A folder we may not open for reading, or a file system that cannot sync
// folders (EINVAL), has nothing more to give: the file's own data is already synced.
int syncFolder(const QByteArray& folder) {
    const int fd = calls().open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    int rc = syncFd(fd);
    const int error = errno;
    calls().close(fd);
    if (rc != 0 && (error == EINVAL || error == ENOTSUP))
        rc = 0;
    errno = error;
    return rc;
}
} // namespace

FileCalls* setFileCalls(FileCalls* replacement) {
    return g_calls.exchange(replacement ? replacement : &g_systemCalls, std::memory_order_acq_rel);
}

QString systemErrorText(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, which need not be in the buffer.
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

AtomicFile::AtomicFile(const QString& path) : path_(path) {}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::setFileName(const QString& path) {
    discard();
    path_ = path;
    error_ = 0;
}

bool AtomicFile::fail(int error) {
    if (error_ == 0)
        error_ = error == 0 ? EIO : error;
    discard();
    return false;
}

void AtomicFile::discard() {
    if (fd_ >= 0) {
        calls().close(fd_);
        fd_ = -1;
    }
    if (!temp_.isEmpty()) {
        ::unlink(temp_.constData());
        temp_.clear();
    }
}

bool AtomicFile::open() {
    discard();
    error_ = 0;
    if (path_.isEmpty())
        return fail(ENOENT);
    // A link is followed: the file it names is replaced and the link stays (a dangling link names the file
    // to create).
    QString real = path_;
    const QFileInfo given(path_);
    if (given.isSymLink()) {
        const QString canonical = given.canonicalFilePath();
        real = canonical.isEmpty() ? given.symLinkTarget() : canonical;
    }
    target_ = QFile::encodeName(real);

    struct stat st {};
    const bool exists = ::stat(target_.constData(), &st) == 0;
    if (!exists && errno != ENOENT)
        return fail(errno);
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return fail(EISDIR);
        if (!S_ISREG(st.st_mode))
            return fail(EINVAL);
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return fail(EACCES);
        // A file we may not write (another user's, in a folder we may write) is refused as a direct write
        // would be: a rename would put our own file, with our owner, in its place.
        if (::faccessat(AT_FDCWD, target_.constData(), W_OK, AT_EACCESS) != 0)
            return fail(errno);
    }

    // Beside the target, hidden and under a name no listing of area files matches, made only by us (O_EXCL).
    const qsizetype slash = target_.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : target_.left(slash));
    // The name is cut so that the temporary one stays within the 255 bytes a name may have.
    const QByteArray base = (slash < 0 ? target_ : target_.mid(slash + 1)).left(200);
    const mode_t mode =
        exists ? (st.st_mode & 07777) : (newFileMode_ >= 0 ? static_cast<mode_t>(newFileMode_) : mode_t{0666});
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name =
            folder + "/." + base + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        const int fd = calls().open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = name;
            break;
        }
        if (errno != EEXIST)
            return fail(errno);
    }
    if (fd_ < 0)
        return fail(EEXIST);
    if (!exists && newFileMode_ >= 0) {
        // Exactly as given, as a copy has its source's permissions whatever the creation mask.
        [[maybe_unused]] const bool modeGiven = ::fchmod(fd_, static_cast<mode_t>(newFileMode_)) == 0;
    }
    if (exists) {
        // The new file keeps the old one's permissions and, where we may give them, its owner and group.
        // These are kept as well as the file system allows (a FAT stick has none to keep): they never stop
        // a save.
        [[maybe_unused]] const bool modeKept = ::fchmod(fd_, st.st_mode & 07777) == 0;
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            [[maybe_unused]] const bool ownerKept = ::fchown(fd_, st.st_uid, st.st_gid) == 0;
        }
    }
    return true;
}

bool AtomicFile::write(std::string_view data) {
    if (fd_ < 0)
        return fail(error_ != 0 ? error_ : EBADF);
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = calls().write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        // No progress and no error: the disk took nothing, which only a full one does.
        if (n == 0)
            return fail(ENOSPC);
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFile::commit(bool keepExisting) {
    if (fd_ < 0)
        return fail(error_ != 0 ? error_ : EBADF);
    // Delayed allocation and network file systems report a full disk only here or at close.
    if (syncFd(fd_) != 0)
        return fail(errno);
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close is interrupted, and the data is synced by now.
    if (calls().close(fd) != 0 && errno != EINTR)
        return fail(errno);
    const int renamed = keepExisting ? calls().renameNoReplace(temp_.constData(), target_.constData())
                                     : calls().rename(temp_.constData(), target_.constData());
    if (renamed != 0)
        return fail(errno);
    temp_.clear();
    const qsizetype slash = target_.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : target_.left(slash));
    // The new file is in place by now; a failure here says it may not survive a power cut, so the save is
    // not reported as done.
    if (syncFolder(folder) != 0)
        return fail(errno);
    return true;
}

void AtomicFile::cancel() {
    discard();
}

bool writeFileAtomically(const QString& path, std::string_view data, QString* errorText) {
    AtomicFile file(path);
    if (file.open() && file.write(data) && file.commit())
        return true;
    if (errorText)
        *errorText = file.errorText();
    return false;
}

} // namespace plat
