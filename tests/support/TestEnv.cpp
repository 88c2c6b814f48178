#include "TestEnv.h"

#include "platform/AppInfo.h"
#include "platform/WindowMessages.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <cstdlib>

namespace {

QString fromEnvironment(const char* variable) {
    const QString value = qEnvironmentVariable(variable);
    if (value.isEmpty())
        ADD_FAILURE() << variable << " is not set: run the tests through ctest, which sets it";
    return value;
}

} // namespace

QString sourcePath(const QString& relative) {
    const QString root = fromEnvironment("VORD_SOURCE_DIR");
    return root.isEmpty() ? QString() : root + QLatin1Char('/') + relative;
}

QString builtProgram(const char* variable) {
    return fromEnvironment(variable);
}

QString runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

std::uint64_t waitForWindow(const char* className, const char* title, int ms) {
    const QDeadlineTimer deadline(ms);
    while (true) {
        if (const auto w = plat::winmsg::findWindow(className, title))
            return w;
        if (deadline.hasExpired())
            return 0;
        QThread::msleep(20);
    }
}

bool waitForWindowGone(const char* className, const char* title, int ms) {
    const QDeadlineTimer deadline(ms);
    while (plat::winmsg::findWindow(className, title)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

ScopedEnv::~ScopedEnv() {
    // Last set, first put back: a variable set twice ends with its value from before the first.
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->wasSet)
            qputenv(it->name.constData(), it->value);
        else
            qunsetenv(it->name.constData());
    }
}

void ScopedEnv::set(const char* name, const QByteArray& value) {
    saved_.push_back({QByteArray(name), qEnvironmentVariableIsSet(name), qgetenv(name)});
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

TestEnv::TestEnv(const std::map<int, std::string>& langTexts) {
    env_.set("VORD_PROGRAM_DIR", QFile::encodeName(program_.path()));
    env_.set("VORD_SETTINGS_DIR", QFile::encodeName(settings_.path()));
    plat::setProgramDir(QString());
    if (langTexts.empty()) {
        QFile::copy(sourcePath(QStringLiteral("lang/lang_english.txt")), path(QStringLiteral("lang_english.txt")));
    } else {
        writeFile(QStringLiteral("lang_test.txt"), langFileBytes(langTexts));
    }
}

TestEnv::~TestEnv() {
    plat::setProgramDir(QString());
}

void TestEnv::copyMapTemplates() const {
    const QDir templates(sourcePath(QStringLiteral("mapview/templates")));
    for (const QString& name : templates.entryList({QStringLiteral("*.ptt")}))
        QFile::copy(templates.filePath(name), path(name));
}

QString TestEnv::writeFile(const QString& relative, const std::string& bytes) const {
    const QString p = path(relative);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return p;
}

std::string TestEnv::readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray b = f.readAll();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

std::string TestEnv::langFileBytes(const std::map<int, std::string>& texts) {
    std::string out;
    for (const auto& [id, text] : texts)
        out += std::to_string(id) + " " + text + "\r\n";
    return out;
}
