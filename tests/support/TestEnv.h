#pragma once
// A private program folder and settings store for one test: a temporary folder that stands for the program
// folder (with a language file), a temporary settings folder, and helpers to write fixture files.
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <ostream>
#include <string>

// Readable test failures for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

class TestEnv {
public:
    // langTexts: number -> text for the language file lang_test.txt; empty map writes the shipped
    // English file (copied from the source tree).
    explicit TestEnv(const std::map<int, std::string>& langTexts = {});
    ~TestEnv();

    QString programDir() const { return program_.path(); }
    QString settingsDir() const { return settings_.path(); }
    QString path(const QString& relative) const { return program_.path() + u'/' + relative; }

    // Writes bytes to a file below the program folder (folders are created); returns its path.
    QString writeFile(const QString& relative, const std::string& bytes) const;
    static std::string readFile(const QString& path);
    // The language file as written: "NNN text" lines with CR LF.
    static std::string langFileBytes(const std::map<int, std::string>& texts);

private:
    QTemporaryDir program_;
    QTemporaryDir settings_;
    QByteArray oldProgramDir_;
    QByteArray oldSettingsDir_;
};

// The source tree and the programs the tests start, as CTest hands them over in the environment (see
// vord_add_test): sourcePath gives a file of the source tree, builtProgram the program a variable names. Both
// report a failure and give an empty path when the run did not set the variable.
QString sourcePath(const QString& relative);
QString builtProgram(const char* variable);

// Makes sure a QApplication exists (offscreen in tests) for widget tests; defined in the widget test support
// (WidgetTests.cpp), which GUI-free test programs do not link.
void ensureApplication();

// Runs the window thread's events (where queued notifications arrive) until done() holds, at most ms; false when the
// time ran out. Defined beside ensureApplication().
bool pumpUntil(const std::function<bool()>& done, int ms = 10000);
