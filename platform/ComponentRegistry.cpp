#include "platform/ComponentRegistry.h"

#include "platform/AtomicFile.h"
#include "platform/SettingsStore.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat::components {
namespace {
const QString kApp = QLatin1String(settings::kComponentRegistryTitle);
const QString kSection = QStringLiteral("ProgIDs");

QString userName(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QStringLiteral("with id ") + QString::number(uid);
}

// Why an opened file or folder (what: "it", "its folder …") is not one only root or we could have placed;
// empty when it is.
QString untrusted(int fd, const QString& what, bool folder) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return what + QStringLiteral(" cannot be examined: ") + systemErrorText(errno);
    if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode))
        return what + (folder ? QStringLiteral(" is not a folder") : QStringLiteral(" is not a regular file"));
    const uid_t me = ::geteuid();
    if (st.st_uid != 0 && st.st_uid != me)
        return what + QStringLiteral(" belongs to user ") + userName(st.st_uid) + QStringLiteral(", not to root") +
               (me != 0 ? QStringLiteral(" or ") + userName(me) : QString());
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return what + QStringLiteral(" may be changed by other users (mode ") +
               QString::number(st.st_mode & 07777, 8).rightJustified(4, u'0') + u')';
    return {};
}
} // namespace

QString registrationFile() {
    return settings::filePath(kApp);
}

bool registerServer(const QString& progId, const QString& libraryPath) {
    return settings::save(kApp, kSection, progId, libraryPath);
}

bool unregisterServer(const QString& progId) {
    return settings::remove(kApp, kSection, progId);
}

QString libraryFor(const QString& progId) {
    return settings::get(kApp, kSection, progId);
}

LibraryCheck checkLibrary(const QString& path) {
    LibraryCheck out;
    char resolved[PATH_MAX];
    if (!::realpath(QFile::encodeName(path).constData(), resolved))
        return out; // nothing there to load; the loader says so in its own words
    out.file = QFile::decodeName(resolved);
    // Opened without following a link (the path is resolved) and without blocking (a FIFO would hold us).
    const int fd = ::open(resolved, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        out.refusal = QStringLiteral("it cannot be opened: ") + systemErrorText(errno);
        return out;
    }
    out.refusal = untrusted(fd, QStringLiteral("it"), false);
    ::close(fd);
    if (!out.refusal.isEmpty())
        return out;
    const QString folder = QFileInfo(out.file).path();
    const QString what = QStringLiteral("its folder ") + folder;
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        out.refusal = what + QStringLiteral(" cannot be opened: ") + systemErrorText(errno);
        return out;
    }
    out.refusal = untrusted(dir, what, true);
    ::close(dir);
    return out;
}

} // namespace plat::components
