#include "platform/AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <filesystem>

namespace plat {
namespace {
QString g_programDir;
QString g_title = QStringLiteral("Vordalin");

QString executableDir() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return QDir::currentPath();
    return QFileInfo(QString::fromStdString(exe.string())).absolutePath();
}
} // namespace

QString programDir() {
    if (!g_programDir.isEmpty())
        return g_programDir;
    const QByteArray env = qgetenv("VORD_PROGRAM_DIR");
    QString dir = env.isEmpty() ? executableDir() : QString::fromLocal8Bit(env);
    dir = QDir::cleanPath(QDir(dir).absolutePath());
    return dir;
}

void setProgramDir(const QString& dir) {
    g_programDir = dir.isEmpty() ? QString() : QDir::cleanPath(dir);
}

QString appTitle() {
    return g_title;
}
void setAppTitle(const QString& title) {
    g_title = title;
}

int versionMajor() {
    return VORD_VERSION_MAJOR;
}
int versionMinor() {
    return VORD_VERSION_MINOR;
}
int versionRevision() {
    return VORD_VERSION_REVISION;
}

} // namespace plat
