#include "FullDisk.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

SmallTmpfs::SmallTmpfs(size_t bytes) {
    if (!folder_.isValid()) {
        whyNot_ = QStringLiteral("no temporary folder");
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(static_cast<qulonglong>(bytes)) + ",mode=0755";
    if (::mount("tmpfs", QFile::encodeName(folder_.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.constData()) != 0) {
        whyNot_ = QStringLiteral("cannot mount a tmpfs here: ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    mounted_ = true;
}

SmallTmpfs::~SmallTmpfs() {
    if (mounted_)
        ::umount2(QFile::encodeName(folder_.path()).constData(), MNT_DETACH);
}

QString SmallTmpfs::path(const QString& relative) const {
    return relative.isEmpty() ? folder_.path() : folder_.path() + u'/' + relative;
}

bool SmallTmpfs::fill() const {
    const QByteArray name = QFile::encodeName(path(QStringLiteral("filler")));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    static const char zeros[4096] = {};
    for (;;) {
        const ssize_t n = ::write(fd, zeros, sizeof zeros);
        if (n > 0)
            continue;
        const int error = n < 0 ? errno : ENOSPC;
        if (error == EINTR)
            continue;
        ::close(fd);
        return error == ENOSPC;
    }
}

int runWithFileSizeLimit(size_t limit, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        if (::setrlimit(RLIMIT_FSIZE, &rl) != 0)
            ::_exit(255);
        ::_exit(body() & 0xff);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
