#include "commserver/app/InstanceLock.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quendar {

InstanceLock::~InstanceLock() {
    Release();
}

void InstanceLock::Release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

InstanceLock::Result InstanceLock::Take(const std::string& folder) {
    Release();
    problem_.clear();
    const std::string path = folder + "/" + kInstanceLockName;
    auto unusable = [&](const std::string& why) {
        problem_ = path + ": " + why;
        return Result::Unusable;
    };
    if (folder.empty())
        return unusable("there is no private folder for the server's windows");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return unusable(errno == ELOOP ? "it is a symbolic link" : std::strerror(errno));
    struct stat st {};
    std::string why;
    if (::fstat(fd, &st) != 0)
        why = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        why = "it is not a regular file";
    else if (st.st_uid != ::geteuid())
        why = "it belongs to another user";
    else if ((st.st_mode & 022) != 0)
        why = "others may write to it";
    if (!why.empty()) {
        ::close(fd);
        return unusable(why);
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return Result::HeldByPeer;
        return unusable(std::strerror(error));
    }
    fd_ = fd;
    return Result::Taken;
}

} // namespace quendar
