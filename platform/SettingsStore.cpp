#include "platform/SettingsStore.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace plat::settings {
namespace {

struct Entry {
    QString key;
    QString value;
};
struct Section {
    QString name;
    std::vector<Entry> entries;
};
using Store = std::vector<Section>;

QString escape(const QString& v) {
    QString out;
    out.reserve(v.size());
    for (QChar c : v) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

QString unescape(const QString& v) {
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == u'\\' && i + 1 < v.size()) {
            const QChar n = v[++i];
            out += n == u'n' ? QChar(u'\n') : n == u'r' ? QChar(u'\r') : n;
        } else {
            out += v[i];
        }
    }
    return out;
}

// Section and key names may hold anything but line ends; '[', ']' and '=' are escaped in the file.
QString escapeName(const QString& n) {
    QString out;
    for (QChar c : n) {
        if (c == u'%' || c == u'=' || c == u'[' || c == u']' || c == u'\n' || c == u'\r')
            out += u'%' + QString::number(c.unicode(), 16).rightJustified(2, u'0');
        else
            out += c;
    }
    return out;
}

QString unescapeName(const QString& n) {
    QString out;
    for (qsizetype i = 0; i < n.size(); ++i) {
        if (n[i] == u'%' && i + 2 < n.size()) {
            bool ok = false;
            const int code = n.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 2;
                continue;
            }
        }
        out += n[i];
    }
    return out;
}

// readable is false when the store exists but cannot be read: writing it back then would drop every other key.
Store load(const QString& path, bool* readable = nullptr) {
    Store store;
    QFile f(path);
    if (readable)
        *readable = true;
    if (!f.open(QIODevice::ReadOnly)) {
        if (readable)
            *readable = !f.exists();
        return store;
    }
    const QString text = QString::fromUtf8(f.readAll());
    Section* cur = nullptr;
    for (const QString& raw : text.split(u'\n')) {
        QString line = raw;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            store.push_back({unescapeName(line.mid(1, line.size() - 2)), {}});
            cur = &store.back();
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!cur || eq <= 0)
            continue;
        cur->entries.push_back({unescapeName(line.left(eq)), unescape(line.mid(eq + 1))});
    }
    return store;
}

QByteArray serialise(const Store& store) {
    QString out;
    for (const Section& s : store) {
        if (s.entries.empty())
            continue;
        out += u'[' + escapeName(s.name) + QStringLiteral("]\n");
        for (const Entry& e : s.entries)
            out += escapeName(e.key) + u'=' + escape(e.value) + u'\n';
        out += u'\n';
    }
    return out.toUtf8();
}

Section* findSection(Store& store, const QString& name) {
    for (Section& s : store)
        if (QString::compare(s.name, name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

// Serialises writers of the stores across processes. The lock is taken on the store's folder itself, so
// no lock file is ever left beside the stores (and none remains after the cleaner deletes one).
class FileLock {
public:
    FileLock() {
        fd_ = ::open(QFile::encodeName(folder()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ >= 0)
            ::flock(fd_, LOCK_EX);
    }
    ~FileLock() {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

// Deletes a store's file; errorText gets the system's reason when it cannot be deleted.
bool unlinkStore(const QString& path, QString* errorText) {
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return true;
    if (errorText)
        *errorText = systemErrorText(errno);
    return false;
}

bool write(const QString& path, const Store& store, QString* errorText) {
    const QByteArray data = serialise(store);
    if (data.isEmpty())
        return unlinkStore(path, errorText);
    // The whole store goes through the checked routine: a full disk must not leave an empty store behind.
    return writeFileAtomically(path, std::string_view(data.constData(), static_cast<size_t>(data.size())), errorText);
}

QString safeFileName(const QString& title) {
    QString n = title;
    n.replace(u'/', u'_');
    n.replace(u'\\', u'_');
    if (n.isEmpty() || n == u"." || n == u"..")
        n = QStringLiteral("_") + n;
    return n;
}

} // namespace

QString folder() {
    const QByteArray env = qgetenv("VORD_SETTINGS_DIR");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    const QString base = xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : QString::fromLocal8Bit(xdg);
    return base + QStringLiteral("/vb-program-settings");
}

QString filePath(const QString& appTitle) {
    // A title names exactly one file, taken literally: no wildcards, no lists. Titles compare without regard
    // to case, as the names inside do, so a file spelt with other letter case is the same store.
    const QString dir = folder();
    const QString name = safeFileName(appTitle) + QStringLiteral(".ini");
    const QString exact = dir + u'/' + name;
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries =
        QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& e : entries)
        if (QString::compare(e, name, Qt::CaseInsensitive) == 0)
            return dir + u'/' + e;
    return exact;
}

QString get(const QString& appTitle, const QString& section, const QString& key, const QString& def) {
    Store store = load(filePath(appTitle));
    if (Section* s = findSection(store, section))
        for (const Entry& e : s->entries)
            if (QString::compare(e.key, key, Qt::CaseInsensitive) == 0)
                return e.value;
    return def;
}

bool exists(const QString& appTitle, const QString& section, const QString& key) {
    Store store = load(filePath(appTitle));
    if (Section* s = findSection(store, section))
        for (const Entry& e : s->entries)
            if (QString::compare(e.key, key, Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

bool save(const QString& appTitle, const QString& section, const QString& key, const QString& value,
          QString* errorText) {
    if (key.isEmpty())
        return false; // a line "=value" is no key: it could never be read back
    if (!QDir().mkpath(folder())) {
        if (errorText)
            *errorText = systemErrorText(errno != 0 ? errno : EACCES);
        return false;
    }
    const QString path = filePath(appTitle);
    FileLock lock;
    bool readable = true;
    errno = 0;
    Store store = load(path, &readable);
    if (!readable) {
        if (errorText)
            *errorText = systemErrorText(errno != 0 ? errno : EIO);
        return false;
    }
    Section* s = findSection(store, section);
    if (!s) {
        store.push_back({section, {}});
        s = &store.back();
    }
    for (Entry& e : s->entries)
        if (QString::compare(e.key, key, Qt::CaseInsensitive) == 0) {
            e.value = value;
            return write(path, store, errorText);
        }
    s->entries.push_back({key, value});
    return write(path, store, errorText);
}

bool remove(const QString& appTitle, const QString& section, const QString& key, QString* errorText) {
    const QString path = filePath(appTitle);
    if (!QFile::exists(path))
        return false;
    FileLock lock;
    if (section.isEmpty()) {
        // The whole title goes: its store, and a "<store>.lock" file beside it should one be there, so nothing
        // named after the title is left in the folder. The stores are locked through the folder itself.
        QFile::remove(path + QStringLiteral(".lock"));
        if (::unlink(QFile::encodeName(path).constData()) == 0)
            return true;
        if (errorText && errno != ENOENT)
            *errorText = systemErrorText(errno);
        return false;
    }
    bool readable = true;
    errno = 0;
    Store store = load(path, &readable);
    if (!readable) {
        if (errorText)
            *errorText = systemErrorText(errno != 0 ? errno : EIO);
        return false;
    }
    Section* s = findSection(store, section);
    if (!s)
        return false;
    if (key.isEmpty()) {
        s->entries.clear();
        return write(path, store, errorText);
    }
    for (auto it = s->entries.begin(); it != s->entries.end(); ++it)
        if (QString::compare(it->key, key, Qt::CaseInsensitive) == 0) {
            s->entries.erase(it);
            return write(path, store, errorText);
        }
    return false;
}

QStringList keys(const QString& appTitle, const QString& section) {
    QStringList out;
    Store store = load(filePath(appTitle));
    if (Section* s = findSection(store, section))
        for (const Entry& e : s->entries)
            out << e.key;
    return out;
}

} // namespace plat::settings
