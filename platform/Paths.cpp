#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <sys/stat.h>

namespace plat {
namespace {
bool caseLess(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

bool matchFrom(const QString& p, qsizetype pi, const QString& n, qsizetype ni) {
    while (pi < p.size()) {
        const QChar pc = p[pi];
        if (pc == u'*') {
            while (pi < p.size() && p[pi] == u'*')
                ++pi;
            if (pi == p.size())
                return true;
            for (qsizetype k = ni; k <= n.size(); ++k)
                if (matchFrom(p, pi, n, k))
                    return true;
            return false;
        }
        if (ni >= n.size())
            return false;
        if (pc != u'?' && pc.toCaseFolded() != n[ni].toCaseFolded())
            return false;
        ++pi;
        ++ni;
    }
    return ni == n.size();
}
} // namespace

QString toLocalPath(const QString& anyPath) {
    QString p = anyPath;
    p.replace(u'\\', u'/');
    if (p.size() >= 2 && p[1] == u':' && p[0].isLetter()) {
        p = p.mid(2);
        if (!p.startsWith(u'/'))
            p.prepend(u'/');
    }
    return p;
}

QString resolvePath(const QString& anyPath) {
    const QString local = toLocalPath(anyPath);
    if (local.isEmpty())
        return local;
    const bool absolute = local.startsWith(u'/');
    const QStringList parts = local.split(u'/', Qt::SkipEmptyParts);
    QString cur = absolute ? QStringLiteral("/") : QString();
    bool exists = true;
    for (const QString& part : parts) {
        QString chosen = part;
        if (exists && part != u"." && part != u"..") {
            const QString base = cur.isEmpty() ? QStringLiteral(".") : cur;
            if (!QFileInfo::exists(base + u'/' + part)) {
                const QStringList entries = QDir(base).entryList(
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
                QString found;
                for (const QString& e : entries)
                    if (QString::compare(e, part, Qt::CaseInsensitive) == 0) {
                        found = e;
                        break;
                    }
                if (found.isEmpty())
                    exists = false;
                else
                    chosen = found;
            }
        }
        if (cur.isEmpty())
            cur = chosen;
        else if (cur.endsWith(u'/'))
            cur += chosen;
        else
            cur += u'/' + chosen;
    }
    if (cur.isEmpty())
        cur = local;
    return cur;
}

QString resolveIn(const QString& folder, const QString& tail) {
    QString f = toLocalPath(folder);
    while (f.size() > 1 && f.endsWith(u'/'))
        f.chop(1);
    QString t = toLocalPath(tail);
    while (t.startsWith(u'/'))
        t.remove(0, 1);
    return resolvePath(t.isEmpty() ? f : f + u'/' + t);
}

bool wildcardMatch(const QString& pattern, const QString& name) {
    return matchFrom(pattern, 0, name, 0);
}

namespace {

QStringList listMatching(const QString& folder, const QStringList& pats) {
    QStringList out;
    const QFileInfoList entries = QDir(toLocalPath(folder)).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& fi : entries) {
        if (!fi.isFile() || fi.fileName().startsWith(u'.'))
            continue;
        const QString name = fi.fileName();
        for (const QString& p : pats)
            if (wildcardMatch(p.trimmed(), name)) {
                out << name;
                break;
            }
    }
    std::sort(out.begin(), out.end(), caseLess);
    return out;
}

} // namespace

QStringList listFiles(const QString& folder, const QString& patterns) {
    return listMatching(folder, patterns.split(u';', Qt::SkipEmptyParts));
}

QStringList listSubfolders(const QString& folder) {
    QStringList out;
    const QFileInfoList entries =
        QDir(toLocalPath(folder)).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo& fi : entries)
        if (fi.isDir() && !fi.isSymLink())
            out << fi.fileName();
    std::sort(out.begin(), out.end(), caseLess);
    return out;
}

QString findFirstFile(const QString& pathWithPattern) {
    const QString local = toLocalPath(pathWithPattern);
    if (local.isEmpty() || local.endsWith(u'/'))
        return {};
    const qsizetype slash = local.lastIndexOf(u'/');
    const QString folderPart = slash < 0 ? QStringLiteral(".") : (slash == 0 ? QStringLiteral("/") : local.left(slash));
    const QString pattern = local.mid(slash + 1);
    const QString folder = resolvePath(folderPart);
    // One name or pattern: a ';' in it is part of the name (only pattern lists use it as a separator).
    const QStringList names = listMatching(folder, QStringList{pattern});
    if (names.isEmpty())
        return {};
    return (folder.endsWith(u'/') ? folder : folder + u'/') + names.first();
}

bool isReadOnlyFile(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(toLocalPath(path)).constData(), &st) != 0)
        return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

} // namespace plat
