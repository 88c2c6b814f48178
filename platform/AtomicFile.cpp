#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
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
} // namespace

FileCalls& fileCalls() {
    return *g_calls.load(std::memory_order_acquire);
}

namespace {
FileCalls& calls() {
    return fileCalls();
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

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : path.left(slash));
}

QByteArray baseOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

// The name a temporary file of the target's base name gets: hidden, cut so that it stays within the 255
// bytes a name may have, and not matched by any listing of area files.
QByteArray tempPrefix(const QByteArray& base) {
    return '.' + base.left(200) + '.';
}

bool isLeftoverName(const QByteArray& name, const QByteArray& prefix) {
    if (name.size() <= prefix.size() + 4 || !name.startsWith(prefix) || !name.endsWith(".tmp"))
        return false;
    const QByteArray id = name.mid(prefix.size(), name.size() - prefix.size() - 4);
    if (id.isEmpty() || id.size() > 7)
        return false;
    for (const char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')))
            return false;
    return true;
}

// ".<base>.<id>.tmp" for any base.
bool isAnyLeftoverName(const QByteArray& name) {
    if (!name.startsWith('.') || !name.endsWith(".tmp"))
        return false;
    const qsizetype dot = name.lastIndexOf('.', name.size() - 5);
    return dot > 1 && isLeftoverName(name, name.left(dot + 1));
}

// One leftover, confined to the folder's descriptor: a regular file of ours that no save holds.
bool removeLeftover(int dirFd, const char* name) {
    // Nothing but a regular file of ours is even opened (a device or pipe of that name is left alone).
    struct stat first {};
    if (::fstatat(dirFd, name, &first, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(first.st_mode) ||
        first.st_uid != ::geteuid())
        return false;
    int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
        fd = ::openat(dirFd, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool removed = false;
    struct stat st {};
    struct stat now {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstatat(dirFd, name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        now.st_dev == st.st_dev && now.st_ino == st.st_ino)
        removed = ::unlinkat(dirFd, name, 0) == 0;
    ::close(fd);
    return removed;
}

int removeLeftovers(const QByteArray& folder, const QByteArray& prefix) {
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    const int listFd = ::dup(dirFd);
    DIR* dir = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        ::close(dirFd);
        return 0;
    }
    QList<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (prefix.isEmpty() ? isAnyLeftoverName(name) : isLeftoverName(name, prefix))
            names << name;
    }
    ::closedir(dir);
    int removed = 0;
    for (const QByteArray& name : names)
        removed += removeLeftover(dirFd, name.constData()) ? 1 : 0;
    ::close(dirFd);
    return removed;
}

QString userName(uid_t uid) {
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &pw, buffer, sizeof buffer, &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

// A folder of the user's alone: a real folder (no link), owned by the program's user, which nobody else may
// write.
bool isOwnFolder(const QByteArray& folder) {
    struct stat st {};
    return ::lstat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Reads every byte of fd from its start.
bool readAll(int fd, std::string& out) {
    out.clear();
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        out.append(buffer, static_cast<size_t>(n));
        at += n;
    }
}

// Writes every byte at the descriptor's current position, through the installed calls.
bool writeAll(int fd, const char* p, size_t left) {
    while (left > 0) {
        const ssize_t n = calls().write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Writes data over fd from its start, synced, cut to its length, synced again.
bool overwrite(int fd, const char* data, size_t size) {
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return false;
    if (!writeAll(fd, data, size) || syncFd(fd) != 0)
        return false;
    int rc;
    do
        rc = ::ftruncate(fd, static_cast<off_t>(size));
    while (rc != 0 && errno == EINTR);
    return rc == 0 && syncFd(fd) == 0;
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

QString savedCopiesFolder() {
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    const QByteArray home = qgetenv("HOME");
    QString base;
    if (!state.isEmpty() && state.startsWith('/'))
        base = QString::fromLocal8Bit(state);
    else if (!home.isEmpty() && home.startsWith('/'))
        base = QString::fromLocal8Bit(home) + QStringLiteral("/.local/state");
    if (!base.isEmpty()) {
        const QString folder = base + QStringLiteral("/vordalin");
        const QByteArray name = QFile::encodeName(folder);
        if (!QFileInfo::exists(folder) && QDir().mkpath(base))
            ::mkdir(name.constData(), 0700);
        if (isOwnFolder(name))
            return folder;
    }
    return QDir::tempPath();
}

int removeSaveLeftovers(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.endsWith('/'))
        return 0;
    return removeLeftovers(folderOf(name), tempPrefix(baseOf(name)));
}

int removeSaveLeftoversInFolder(const QString& folder) {
    return removeLeftovers(QFile::encodeName(folder), QByteArray());
}

AtomicFile::AtomicFile(const QString& path) : path_(path) {}

AtomicFile::~AtomicFile() {
    discard();
}

void AtomicFile::setFileName(const QString& path) {
    discard();
    path_ = path;
    error_ = 0;
    reason_.clear();
}

QString AtomicFile::errorText() const {
    if (error_ == 0)
        return QString();
    return reason_.isEmpty() ? systemErrorText(error_) : reason_;
}

bool AtomicFile::fail(int error, const QString& reason) {
    if (error_ == 0) {
        error_ = error == 0 ? EIO : error;
        reason_ = reason;
    }
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
    // The lock goes last, once the temporary file is gone or renamed.
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
    inPlace_ = false;
    buffer_.clear();
}

bool AtomicFile::open() {
    discard();
    error_ = 0;
    reason_.clear();
    if (path_.isEmpty())
        return fail(ENOENT);
    // A link is followed: the file it names is replaced and the link stays (a dangling link names the file
    // to create). Only a link of ours or of the folder's owner is followed, link by link: another user who may
    // write the folder could otherwise make us write into any file we may write.
    target_ = QFile::encodeName(path_);
    for (int hops = 0;; ++hops) {
        struct stat link {};
        if (::lstat(target_.constData(), &link) != 0 || !S_ISLNK(link.st_mode))
            break;
        if (hops == 40)
            return fail(ELOOP);
        const QByteArray folder = folderOf(target_);
        struct stat owner {};
        if (::stat(folder.constData(), &owner) != 0)
            return fail(errno);
        if (link.st_uid != ::geteuid() && link.st_uid != owner.st_uid)
            return fail(EACCES, QStringLiteral("%1 is a link that belongs to %2, who is neither this program's "
                                               "user nor the owner of its folder, so it is not followed")
                                    .arg(QFile::decodeName(target_), userName(link.st_uid)));
        char buffer[4096];
        const ssize_t n = ::readlink(target_.constData(), buffer, sizeof buffer);
        if (n < 0)
            return fail(errno);
        if (n == static_cast<ssize_t>(sizeof buffer))
            return fail(ENAMETOOLONG);
        const QByteArray to(buffer, n);
        target_ = to.startsWith('/') ? to : folder + '/' + to;
    }

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

    const QByteArray folder = folderOf(target_);
    const QByteArray base = baseOf(target_);
    // The leftovers of this file's killed saves go first.
    removeLeftovers(folder, tempPrefix(base));

    if (exists) {
        // A file with other names keeps them only when written in place; so does another user's file in a
        // sticky folder of a third user, which the rename would be refused (root may rename it).
        struct stat dir {};
        const bool renameRefused = ::geteuid() != 0 && ::stat(folder.constData(), &dir) == 0 &&
                                   (dir.st_mode & S_ISVTX) != 0 && st.st_uid != ::geteuid() &&
                                   dir.st_uid != ::geteuid();
        if (st.st_nlink > 1 || renameRefused)
            return openInPlace(st);
    }

    const mode_t mode =
        exists ? (st.st_mode & 07777) : (newFileMode_ >= 0 ? static_cast<mode_t>(newFileMode_) : mode_t{0666});
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        const QByteArray name =
            folder + '/' + tempPrefix(base) + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        const int fd = calls().open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) {
            // No new file may be made in the folder, but the file itself may be written.
            if (exists && (errno == EACCES || errno == EPERM))
                return openInPlace(st);
            if (errno != EEXIST)
                return fail(errno);
            continue;
        }
        // Held until the rename, so that another save's cleaning of leftovers leaves it alone. A cleaner that
        // took the new file for a leftover before the lock removed the name: then another name is tried.
        struct stat made {};
        struct stat named {};
        const int lock = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (lock < 0) {
            const int error = errno;
            ::unlink(name.constData());
            calls().close(fd);
            return fail(error);
        }
        const bool locked = ::flock(lock, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
        if (locked && ::fstat(fd, &made) == 0 && ::lstat(name.constData(), &named) == 0 &&
            made.st_dev == named.st_dev && made.st_ino == named.st_ino) {
            fd_ = fd;
            lockFd_ = lock;
            temp_ = name;
            break;
        }
        calls().close(fd);
        ::close(lock);
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

bool AtomicFile::openInPlace(const struct stat& st) {
    // The file that was checked is the one written: opened without following a link, and compared.
    const int fd = calls().open(target_.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0)
        return fail(errno);
    struct stat now {};
    if (::fstat(fd, &now) != 0 || !S_ISREG(now.st_mode) || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        calls().close(fd);
        return fail(EAGAIN, QStringLiteral("%1 was replaced while it was being saved").arg(QFile::decodeName(target_)));
    }
    fd_ = fd;
    inPlace_ = true;
    return true;
}

bool AtomicFile::write(std::string_view data) {
    if (fd_ < 0)
        return fail(error_ != 0 ? error_ : EBADF);
    if (inPlace_) {
        // Nothing touches the file before the copy of its old contents is made, at the commit.
        buffer_.append(data.data(), static_cast<qsizetype>(data.size()));
        return true;
    }
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

bool AtomicFile::commitInPlace(bool keepExisting) {
    // The file was there when the save began.
    if (keepExisting)
        return fail(EEXIST);
    std::string old;
    if (!readAll(fd_, old))
        return fail(errno);

    // The copy of the old contents, made for the user alone and synced before the file is touched.
    const QByteArray copyFolder = QFile::encodeName(savedCopiesFolder());
    const bool shared = copyFolder == QFile::encodeName(QDir::tempPath()) && !isOwnFolder(copyFolder);
    QByteArray copy;
    int copyFd = -1;
    for (int attempt = 0; attempt < 100 && copyFd < 0; ++attempt) {
        copy = copyFolder + '/' + (shared ? QByteArray("vordalin-") : QByteArray()) + baseOf(target_).left(200) + '.' +
               QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".old";
        copyFd = calls().open(copy.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (copyFd < 0 && errno != EEXIST)
            return fail(errno, QStringLiteral("%1 (keeping a copy of the old contents in %2)")
                                   .arg(systemErrorText(errno), QFile::decodeName(copyFolder)));
    }
    if (copyFd < 0)
        return fail(EEXIST);
    const bool copied = writeAll(copyFd, old.data(), old.size()) && syncFd(copyFd) == 0;
    int error = errno;
    if (calls().close(copyFd) != 0 && copied && errno != EINTR) {
        error = errno;
        ::unlink(copy.constData());
        return fail(error, QStringLiteral("%1 (keeping a copy of the old contents in %2)")
                               .arg(systemErrorText(error), QFile::decodeName(copyFolder)));
    }
    if (!copied) {
        ::unlink(copy.constData());
        return fail(error, QStringLiteral("%1 (keeping a copy of the old contents in %2)")
                               .arg(systemErrorText(error), QFile::decodeName(copyFolder)));
    }
    if (syncFolder(copyFolder) != 0) {
        error = errno;
        ::unlink(copy.constData());
        return fail(error);
    }

    if (!overwrite(fd_, buffer_.constData(), static_cast<size_t>(buffer_.size()))) {
        error = errno;
        // The old contents go back; only when that fails too is the copy left, and the message says where.
        if (overwrite(fd_, old.data(), old.size())) {
            ::unlink(copy.constData());
            return fail(error);
        }
        return fail(
            error,
            QStringLiteral("%1; the old contents are kept in %2").arg(systemErrorText(error), QFile::decodeName(copy)));
    }
    const int fd = fd_;
    fd_ = -1;
    if (calls().close(fd) != 0 && errno != EINTR) {
        error = errno;
        return fail(
            error,
            QStringLiteral("%1; the old contents are kept in %2").arg(systemErrorText(error), QFile::decodeName(copy)));
    }
    ::unlink(copy.constData());
    inPlace_ = false;
    buffer_.clear();
    return true;
}

bool AtomicFile::commit(bool keepExisting) {
    if (fd_ < 0)
        return fail(error_ != 0 ? error_ : EBADF);
    if (inPlace_)
        return commitInPlace(keepExisting);
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
    ::close(lockFd_);
    lockFd_ = -1;
    // The new file is in place by now; a failure here says it may not survive a power cut, so the save is
    // not reported as done.
    if (syncFolder(folderOf(target_)) != 0)
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
