#include "TestEnv.h"

#include "platform/AppInfo.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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

TestEnv::TestEnv(const std::map<int, std::string>& langTexts) {
    oldProgramDir_ = qgetenv("VORD_PROGRAM_DIR");
    oldSettingsDir_ = qgetenv("VORD_SETTINGS_DIR");
    qputenv("VORD_PROGRAM_DIR", QFile::encodeName(program_.path()));
    qputenv("VORD_SETTINGS_DIR", QFile::encodeName(settings_.path()));
    plat::setProgramDir(QString());
    if (langTexts.empty()) {
        QFile::copy(sourcePath(QStringLiteral("lang/lang_english.txt")), path(QStringLiteral("lang_english.txt")));
    } else {
        writeFile(QStringLiteral("lang_test.txt"), langFileBytes(langTexts));
    }
}

TestEnv::~TestEnv() {
    if (oldProgramDir_.isEmpty())
        qunsetenv("VORD_PROGRAM_DIR");
    else
        qputenv("VORD_PROGRAM_DIR", oldProgramDir_);
    if (oldSettingsDir_.isEmpty())
        qunsetenv("VORD_SETTINGS_DIR");
    else
        qputenv("VORD_SETTINGS_DIR", oldSettingsDir_);
    plat::setProgramDir(QString());
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
