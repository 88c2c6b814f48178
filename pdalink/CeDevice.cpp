#include "pdalink/CeDevice.h"

#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace ce {
namespace {

struct Faults {
    int connectDelayMs = 0;
    bool connectFails = false;
    QString failOpen, failCreate, failRead, failWrite, shortWrite;
    int failReadAt = 1, failWriteAt = 1, shortWriteAt = 1;
    long long loseAfterCalls = -1;
    QString source; // the device root and the marker's text the settings came from
};

struct OpenFile {
    int fd = -1;
    QString name; // bare name, for fault patterns
    bool write = false;
    int reads = 0;
    int writes = 0;
};

struct Search {
    std::vector<FindData> entries;
    size_t next = 0;
};

struct State {
    std::mutex lock;
    Faults faults;
    bool connected = false; // the current session found the device
    long long ioCalls = 0;
    Handle nextHandle = 0x100;
    std::map<Handle, OpenFile> files;
    std::map<Handle, Search> searches;
    std::map<Handle, qint64> attempts; // connection attempts: start time in ms
    Counters counters;
    QElapsedTimer clock;
};

State& state() {
    static State s;
    if (!s.clock.isValid())
        s.clock.start();
    return s;
}

thread_local uint32_t t_lastError = 0;
thread_local int t_lastSystemError = 0;

uint32_t fail(uint32_t code, int systemError = 0) {
    t_lastError = code;
    t_lastSystemError = systemError;
    return code;
}

// The file calls in force: the system's, or those a test put in place to make one step fail.
plat::FileCalls& fileCalls() {
    return plat::fileCalls();
}

// fsync that is not given up on a signal. A file system that cannot sync (EINVAL, or ENOTSUP for a folder)
// holds nothing back, so it counts as synced.
int syncFd(int fd) {
    int rc;
    do
        rc = fileCalls().fsync(fd);
    while (rc != 0 && errno == EINTR);
    if (rc != 0 && (errno == EINVAL || errno == ENOTSUP))
        rc = 0;
    return rc;
}

// Puts a folder's entries on the disk, so a renamed file keeps its new name through a power cut or a pulled
// card. A folder that cannot be opened for reading has nothing more to give. 0, or -1 with errno.
int syncFolder(const QString& folder) {
    const int fd = fileCalls().open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    const int rc = syncFd(fd);
    const int error = errno;
    fileCalls().close(fd);
    errno = error;
    return rc;
}

QString markerPath(const QString& root) {
    return root + u'/' + QString::fromLatin1(kMarkerName);
}

bool present(const QString& root) {
    if (root.isEmpty())
        return false;
    struct stat st {};
    return ::stat(QFile::encodeName(markerPath(root)).constData(), &st) == 0;
}

Faults readFaults(const QString& root) {
    Faults f;
    QFile file(markerPath(root));
    if (!file.open(QIODevice::ReadOnly))
        return f;
    const QByteArray text = file.readAll();
    f.source = root + u'\n' + QString::fromUtf8(text);
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray& raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        const int n = value.toInt();
        if (key == u"connectdelayms")
            f.connectDelayMs = n;
        else if (key == u"connectfails")
            f.connectFails = n != 0;
        else if (key == u"failopen")
            f.failOpen = value;
        else if (key == u"failcreate")
            f.failCreate = value;
        else if (key == u"failread")
            f.failRead = value;
        else if (key == u"failreadat")
            f.failReadAt = std::max(1, n);
        else if (key == u"failwrite")
            f.failWrite = value;
        else if (key == u"failwriteat")
            f.failWriteAt = std::max(1, n);
        else if (key == u"shortwrite")
            f.shortWrite = value;
        else if (key == u"shortwriteat")
            f.shortWriteAt = std::max(1, n);
        else if (key == u"loseaftercalls")
            f.loseAfterCalls = value.toLongLong();
    }
    return f;
}

bool matches(const QString& pattern, QString name) {
    if (name.endsWith(QLatin1String(kUploadSuffix), Qt::CaseInsensitive))
        name.chop(static_cast<qsizetype>(std::strlen(kUploadSuffix)));
    return !pattern.isEmpty() && plat::wildcardMatch(pattern, name);
}

int sessionWaitMs() {
    bool ok = false;
    const int v = qEnvironmentVariable("VORD_CE_SESSION_WAIT_MS").toInt(&ok);
    return ok && v >= 0 ? v : 3000;
}

// A name the device could hold: no separator, no NUL, at most 259 UTF-16 units, not a dot entry.
bool deviceName(const QString& name) {
    if (name.isEmpty() || name == u"." || name == u".." || name.size() > 259)
        return false;
    return !name.contains(u'\\') && !name.contains(u'/') && !name.contains(QChar(0));
}

QStringList components(const QString& devicePath, bool* ok) {
    *ok = true;
    QStringList out;
    for (const QString& part : devicePath.split(QRegularExpression(QStringLiteral("[\\\\/]")), Qt::SkipEmptyParts)) {
        if (part == u".")
            continue;
        if (!deviceName(part)) {
            *ok = false;
            return {};
        }
        out << part;
    }
    return out;
}

// An entry a device path can name: a link is none (the listing skips links too), so no path leads out of
// the device through one.
bool isEntry(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISLNK(st.st_mode);
}

// The entry of folder named like name without regard to case (the exact spelling first); empty when none.
QString findEntry(const QString& folder, const QString& name) {
    if (isEntry(folder + u'/' + name))
        return name;
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& e : entries)
        if (QString::compare(e, name, Qt::CaseInsensitive) == 0 && isEntry(folder + u'/' + e))
            return e;
    return {};
}

// Resolves a device path below the root. The last component may be missing (lastMayBeNew); every folder on
// the way must exist. Empty result with lastError set when the path cannot be resolved.
QString resolve(const QString& root, const QString& devicePath, bool lastMayBeNew, QString* lastName = nullptr) {
    bool ok = false;
    const QStringList parts = components(devicePath, &ok);
    if (!ok || parts.isEmpty()) {
        fail(ERROR_PATH_NOT_FOUND);
        return {};
    }
    QString cur = root;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        // The marker is no device file: no path reaches it, whatever the letter case.
        if (i == 0 && QString::compare(parts[i], QLatin1String(kMarkerName), Qt::CaseInsensitive) == 0) {
            fail(last ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
            return {};
        }
        QString found = findEntry(cur, parts[i]);
        if (found.isEmpty()) {
            if (last && lastMayBeNew) {
                found = parts[i];
            } else {
                fail(last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
                return {};
            }
        } else if (!last && !QFileInfo(cur + u'/' + found).isDir()) {
            fail(ERROR_PATH_NOT_FOUND);
            return {};
        }
        cur += u'/' + found;
        if (last && lastName)
            *lastName = found;
    }
    return cur;
}

// Every device call after the session start: the session must have found the device and it must still be
// there.
bool ready(State& s, QString* root) {
    *root = deviceRoot();
    if (!s.connected || !present(*root)) {
        fail(ERROR_DEVICE_NOT_CONNECTED);
        return false;
    }
    return true;
}

// Counts one read or write and takes the device away once the configured number has passed.
bool countIo(State& s, const QString& root) {
    ++s.ioCalls;
    if (s.faults.loseAfterCalls >= 0 && s.ioCalls > s.faults.loseAfterCalls) {
        QFile::remove(markerPath(root));
        fail(ERROR_DEVICE_NOT_CONNECTED);
        return false;
    }
    return true;
}

// New fault settings (another device, or the marker rewritten) start the count of reads and writes afresh;
// the same settings keep counting across sessions, so a device can go away in the middle of a run.
void applyFaults(State& s, const Faults& f) {
    if (f.source != s.faults.source)
        s.ioCalls = 0;
    s.faults = f;
}

// A device path of a call that needs no open handle, resolved below the root of a ready device; empty with
// lastError set when the device or the path is not there.
QString readyPath(State& s, const QString& devicePath, bool lastMayBeNew) {
    QString root;
    if (!ready(s, &root))
        return {};
    return resolve(root, devicePath, lastMayBeNew);
}

// The open file of a read (write false) or write call, once the device is ready and the call is counted;
// null with lastError set when the handle is not a file open that way or the device is gone.
OpenFile* ioFile(State& s, Handle file, bool write) {
    const auto it = s.files.find(file);
    if (it == s.files.end() || it->second.write != write) {
        fail(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    QString root;
    if (!ready(s, &root) || !countIo(s, root))
        return nullptr;
    return &it->second;
}

// A session starts as not connected until it finds the device.
void startSession(State& s) {
    ++s.counters.sessionsOpen;
    ++s.counters.sessionsStarted;
    s.connected = false;
}

Handle newHandle(State& s) {
    ++s.counters.handlesOpen;
    ++s.counters.handlesOpened;
    return s.nextHandle++;
}

} // namespace

QString deviceRoot() {
    QString root = qEnvironmentVariable("VORD_CE_DEVICE");
    if (root.isEmpty())
        root = plat::settings::get(QLatin1String(plat::settings::kPdaLibraryTitle), QStringLiteral("Device"),
                                   QStringLiteral("Root"));
    if (root.isEmpty())
        return {};
    root = QDir::cleanPath(root);
    return root;
}

int32_t CeRapiInit() {
    State& s = state();
    std::unique_lock g(s.lock);
    startSession(s);
    const QString root = deviceRoot();
    const qint64 start = s.clock.elapsed();
    const int limit = sessionWaitMs();
    g.unlock();
    while (!present(root)) {
        if (s.clock.elapsed() - start >= limit) {
            fail(ERROR_DEVICE_NOT_CONNECTED);
            return E_FAIL;
        }
        QThread::msleep(20);
    }
    const Faults f = readFaults(root);
    while (s.clock.elapsed() - start < f.connectDelayMs) {
        if (s.clock.elapsed() - start >= limit) {
            fail(ERROR_DEVICE_NOT_CONNECTED);
            return E_FAIL;
        }
        QThread::msleep(5);
    }
    g.lock();
    applyFaults(s, f);
    if (f.connectFails) {
        fail(ERROR_DEVICE_NOT_CONNECTED);
        return E_FAIL;
    }
    s.connected = true;
    return S_OK;
}

int32_t CeRapiInitEx(RapiInit* init) {
    State& s = state();
    std::lock_guard g(s.lock);
    startSession(s);
    init->event = newHandle(s);
    init->hr = E_FAIL;
    s.attempts[init->event] = s.clock.elapsed();
    return S_OK;
}

uint32_t CeWaitForInit(RapiInit* init, uint32_t ms) {
    State& s = state();
    std::unique_lock g(s.lock);
    const auto it = s.attempts.find(init->event);
    if (it == s.attempts.end())
        return fail(ERROR_INVALID_HANDLE);
    const qint64 started = it->second;
    const qint64 waitStart = s.clock.elapsed();
    const QString root = deviceRoot();
    g.unlock();
    for (;;) {
        if (present(root)) {
            const Faults f = readFaults(root);
            if (s.clock.elapsed() - started >= f.connectDelayMs) {
                std::lock_guard g2(s.lock);
                applyFaults(s, f);
                init->hr = f.connectFails ? E_FAIL : S_OK;
                s.connected = !f.connectFails;
                s.attempts.erase(init->event);
                if (s.counters.handlesOpen > 0)
                    --s.counters.handlesOpen;
                init->event = INVALID_HANDLE_VALUE;
                return WAIT_OBJECT_0;
            }
        }
        if (s.clock.elapsed() - waitStart >= static_cast<qint64>(ms))
            return WAIT_TIMEOUT;
        QThread::msleep(5);
    }
}

int32_t CeRapiUninit() {
    State& s = state();
    std::lock_guard g(s.lock);
    // A connection attempt nobody waited out ends with its session.
    for (auto it = s.attempts.begin(); it != s.attempts.end(); it = s.attempts.erase(it))
        if (s.counters.handlesOpen > 0)
            --s.counters.handlesOpen;
    if (s.counters.sessionsOpen > 0)
        --s.counters.sessionsOpen;
    s.connected = false;
    return S_OK;
}

Handle CeFindFirstFile(const QString& pattern, FindData* data) {
    State& s = state();
    std::lock_guard g(s.lock);
    QString root;
    if (!ready(s, &root))
        return INVALID_HANDLE_VALUE;
    // Split the pattern into its folder and its last component (which may hold wildcards).
    QString p = pattern;
    while (p.endsWith(u'\\') || p.endsWith(u'/'))
        p.chop(1);
    const qsizetype cut = std::max(p.lastIndexOf(u'\\'), p.lastIndexOf(u'/'));
    const QString folderPart = cut >= 0 ? p.left(cut) : QString();
    const QString namePattern = cut >= 0 ? p.mid(cut + 1) : p;
    if (namePattern.isEmpty()) {
        fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    QString folder = root;
    bool ok = false;
    const QStringList folderParts = components(folderPart, &ok);
    if (!ok) {
        fail(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!folderParts.isEmpty()) {
        folder = resolve(root, folderPart, false);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
            fail(ERROR_PATH_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
    }
    Search search;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& fi : entries) {
        const QString name = fi.fileName();
        if (!deviceName(name) || fi.isSymLink())
            continue;
        if (folder == root && QString::compare(name, QLatin1String(kMarkerName), Qt::CaseInsensitive) == 0)
            continue;
        if (!plat::wildcardMatch(namePattern, name))
            continue;
        FindData d;
        d.name = name;
        d.attributes = fi.isDir() ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        d.size = fi.isDir() ? 0 : static_cast<uint64_t>(fi.size());
        search.entries.push_back(d);
    }
    if (search.entries.empty()) {
        fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = search.entries[0];
    search.next = 1;
    const Handle h = newHandle(s);
    s.searches[h] = std::move(search);
    return h;
}

bool CeFindNextFile(Handle find, FindData* data) {
    State& s = state();
    std::lock_guard g(s.lock);
    const auto it = s.searches.find(find);
    if (it == s.searches.end()) {
        fail(ERROR_INVALID_HANDLE);
        return false;
    }
    QString root;
    if (!ready(s, &root))
        return false;
    if (it->second.next >= it->second.entries.size()) {
        fail(ERROR_NO_MORE_FILES);
        return false;
    }
    *data = it->second.entries[it->second.next++];
    return true;
}

bool CeFindClose(Handle find) {
    State& s = state();
    std::lock_guard g(s.lock);
    if (s.searches.erase(find) == 0) {
        fail(ERROR_INVALID_HANDLE);
        return false;
    }
    --s.counters.handlesOpen;
    return true;
}

Handle CeCreateFile(const QString& name, uint32_t access, uint32_t disposition) {
    State& s = state();
    std::lock_guard g(s.lock);
    QString root;
    if (!ready(s, &root))
        return INVALID_HANDLE_VALUE;
    const bool write = (access & GENERIC_WRITE) != 0;
    QString bare;
    const QString path = resolve(root, name, write && disposition == CREATE_ALWAYS, &bare);
    if (path.isEmpty())
        return INVALID_HANDLE_VALUE;
    if (QFileInfo(path).isDir()) {
        fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if ((write && matches(s.faults.failCreate, bare)) || (!write && matches(s.faults.failOpen, bare))) {
        fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int flags = write ? O_WRONLY : O_RDONLY;
    if (write && disposition == CREATE_ALWAYS)
        flags |= O_CREAT | O_TRUNC;
    const int fd = fileCalls().open(QFile::encodeName(path).constData(), flags | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED, errno);
        return INVALID_HANDLE_VALUE;
    }
    OpenFile f;
    f.fd = fd;
    f.name = bare;
    f.write = write;
    const Handle h = newHandle(s);
    s.files[h] = f;
    return h;
}

bool CeReadFile(Handle file, char* buffer, uint32_t toRead, uint32_t* read) {
    State& s = state();
    std::lock_guard g(s.lock);
    *read = 0;
    s.counters.readSizes.push_back(toRead);
    OpenFile* open = ioFile(s, file, false);
    if (!open)
        return false;
    OpenFile& f = *open;
    ++f.reads;
    if (matches(s.faults.failRead, f.name) && f.reads >= s.faults.failReadAt) {
        fail(ERROR_READ_FAULT);
        return false;
    }
    uint32_t done = 0;
    while (done < toRead) {
        const ssize_t n = ::read(f.fd, buffer + done, toRead - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(ERROR_READ_FAULT, errno);
            return false;
        }
        if (n == 0)
            break;
        done += static_cast<uint32_t>(n);
    }
    *read = done;
    return true;
}

bool CeWriteFile(Handle file, const char* buffer, uint32_t toWrite, uint32_t* written) {
    State& s = state();
    std::lock_guard g(s.lock);
    *written = 0;
    s.counters.writeSizes.push_back(toWrite);
    OpenFile* open = ioFile(s, file, true);
    if (!open)
        return false;
    OpenFile& f = *open;
    ++f.writes;
    if (matches(s.faults.failWrite, f.name) && f.writes >= s.faults.failWriteAt) {
        fail(ERROR_WRITE_FAULT);
        return false;
    }
    uint32_t want = toWrite;
    if (matches(s.faults.shortWrite, f.name) && f.writes == s.faults.shortWriteAt)
        want = toWrite / 2;
    uint32_t done = 0;
    while (done < want) {
        const ssize_t n = fileCalls().write(f.fd, buffer + done, want - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *written = done;
            fail(ERROR_WRITE_FAULT, errno);
            return false;
        }
        done += static_cast<uint32_t>(n);
    }
    *written = done;
    return true;
}

uint32_t CeGetFileSize(Handle file, uint32_t* high) {
    State& s = state();
    std::lock_guard g(s.lock);
    const auto it = s.files.find(file);
    struct stat st {};
    if (it == s.files.end() || ::fstat(it->second.fd, &st) != 0) {
        fail(ERROR_INVALID_HANDLE);
        if (high)
            *high = 0;
        return 0xFFFFFFFFu;
    }
    const auto size = static_cast<uint64_t>(st.st_size);
    if (high)
        *high = static_cast<uint32_t>(size >> 32);
    return static_cast<uint32_t>(size & 0xFFFFFFFFu);
}

bool CeFlushFileBuffers(Handle file) {
    State& s = state();
    std::lock_guard g(s.lock);
    const auto it = s.files.find(file);
    if (it == s.files.end() || !it->second.write) {
        fail(ERROR_INVALID_HANDLE);
        return false;
    }
    QString root;
    if (!ready(s, &root))
        return false;
    if (syncFd(it->second.fd) != 0) {
        fail(ERROR_WRITE_FAULT, errno);
        return false;
    }
    return true;
}

bool CeCloseHandle(Handle handle) {
    State& s = state();
    std::lock_guard g(s.lock);
    const auto it = s.files.find(handle);
    if (it == s.files.end()) {
        fail(ERROR_INVALID_HANDLE);
        return false;
    }
    const OpenFile f = it->second;
    s.files.erase(it);
    --s.counters.handlesOpen;
    // The descriptor is gone whatever close says. Of a file read, nothing is lost; of a file written, a
    // failed close may be the only word that its data did not reach the disk. An interrupted close has
    // released the descriptor too, and the data is synced by the time a copy closes it.
    if (fileCalls().close(f.fd) != 0 && f.write && errno != EINTR) {
        fail(ERROR_WRITE_FAULT, errno);
        return false;
    }
    return true;
}

uint32_t CeGetLastError() {
    return t_lastError;
}

int CeGetLastSystemError() {
    return t_lastSystemError;
}

bool CeCreateDirectory(const QString& path) {
    State& s = state();
    std::lock_guard g(s.lock);
    const QString local = readyPath(s, path, true);
    if (local.isEmpty())
        return false;
    if (QFileInfo::exists(local)) {
        fail(ERROR_ALREADY_EXISTS);
        return false;
    }
    if (!QDir().mkdir(local)) {
        fail(ERROR_ACCESS_DENIED);
        return false;
    }
    // A folder made for a copy reaches the disk with it: the copy syncs only the folder it lands in.
    if (syncFolder(QFileInfo(local).path()) != 0) {
        fail(ERROR_WRITE_FAULT, errno);
        return false;
    }
    return true;
}

bool CeDeleteFile(const QString& path) {
    State& s = state();
    std::lock_guard g(s.lock);
    const QString local = readyPath(s, path, false);
    if (local.isEmpty())
        return false;
    const QFileInfo fi(local);
    if (fi.isDir() && !fi.isSymLink()) {
        fail(ERROR_ACCESS_DENIED);
        return false;
    }
    if (!QFile::remove(local)) {
        fail(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

bool CeMoveFile(const QString& existingName, const QString& newName) {
    return CeMoveFileEx(existingName, newName, 0);
}

bool CeMoveFileEx(const QString& existingName, const QString& newName, uint32_t flags) {
    State& s = state();
    std::lock_guard g(s.lock);
    const QString from = readyPath(s, existingName, false);
    if (from.isEmpty())
        return false;
    const QFileInfo fi(from);
    if (fi.isDir() || fi.isSymLink()) {
        fail(ERROR_ACCESS_DENIED);
        return false;
    }
    const QString to = readyPath(s, newName, true);
    if (to.isEmpty())
        return false;
    // Never over an entry of that name, whatever it is (a link included) and whenever it appeared.
    if (fileCalls().renameNoReplace(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : ERROR_ACCESS_DENIED, errno);
        return false;
    }
    if ((flags & MOVEFILE_WRITE_THROUGH) != 0) {
        const QString toFolder = QFileInfo(to).path();
        const QString fromFolder = QFileInfo(from).path();
        if (syncFolder(toFolder) != 0 || (fromFolder != toFolder && syncFolder(fromFolder) != 0)) {
            fail(ERROR_WRITE_FAULT, errno);
            return false;
        }
    }
    return true;
}

Counters counters() {
    State& s = state();
    std::lock_guard g(s.lock);
    return s.counters;
}

void resetCounters() {
    State& s = state();
    std::lock_guard g(s.lock);
    const int sessions = s.counters.sessionsOpen;
    const int handles = s.counters.handlesOpen;
    s.counters = Counters{};
    s.counters.sessionsOpen = sessions;
    s.counters.handlesOpen = handles;
    s.ioCalls = 0;
}

} // namespace ce
