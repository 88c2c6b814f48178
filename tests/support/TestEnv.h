#pragma once
// A private program folder and settings store for one test: a temporary folder that stands for the program
// folder (with a language file), a temporary settings folder, and helpers to write fixture files.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>

#include <map>
#include <ostream>
#include <string>
#include <vector>

// Readable test failures for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// Sets environment variables (or removes them, for a null value) for the life of the object, and puts back what
// each held before, set or not, when it ends.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ScopedEnv(const char* name, const QByteArray& value) { set(name, value); }
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // value null: the variable is removed.
    void set(const char* name, const QByteArray& value);

private:
    struct Saved {
        QByteArray name;
        bool wasSet;
        QByteArray value;
    };
    std::vector<Saved> saved_;
};

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
    // Copies the map's symbol templates (*.ptt) of the source tree into the program folder, where the map
    // window looks for them.
    void copyMapTemplates() const;
    // The language file as written: "NNN text" lines with CR LF.
    static std::string langFileBytes(const std::map<int, std::string>& texts);

private:
    QTemporaryDir program_;
    QTemporaryDir settings_;
    ScopedEnv env_;
};

// The source tree and the programs the tests start, as CTest hands them over in the environment (see
// vord_add_test): sourcePath gives a file of the source tree, builtProgram the program a variable names. Both
// report a failure and give an empty path when the run did not set the variable.
QString sourcePath(const QString& relative);
QString builtProgram(const char* variable);

// Runs a tool to its end (at most a minute) and gives what it wrote to its standard output; empty when it did not
// end in time or could not start.
QString runTool(const QString& program, const QStringList& args);

// Waits, polling, until a window of this class and title is registered with the window messages (and returns
// its handle) or, for waitForWindowGone, none is any longer (true); at most ms. A handle of 0 and false when the
// time ran out. These are for windows of other programs: the polling runs no events of this one.
std::uint64_t waitForWindow(const char* className, const char* title, int ms = 20000);
bool waitForWindowGone(const char* className, const char* title, int ms = 10000);
