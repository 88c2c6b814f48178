#include "core/Startup.h"

#include "core/ProgramWindows.h"
#include "core/Shared.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"

#include <QDir>
#include <QFile>

void OpenStartupArguments(const QStringList& arguments) {
    SplitCommandLine(arguments);
    for (int i = 1; i <= CommandLineArgCount; ++i) {
        const QString arg = CommandLineArgs.at(i);
        if (arg.startsWith(QStringLiteral("/s="))) {
            const QString serial = arg.size() < 8 ? arg : arg.right(8);
            if (OpenBySerial(serial))
                programWindows().toggleGraph();
        } else {
            programWindows().openDocument(arg);
        }
    }
}

QString FindVordhubFolder(const QString& folder) {
    // Symbolic links are never followed, so a link cycle cannot make the search endless.
    for (const QString& name : plat::listSubfolders(folder)) {
        const QString full = QDir(folder).filePath(name);
        if (name.toLower() == QStringLiteral("vordhub"))
            return full;
        const QString found = FindVordhubFolder(full);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

QString FindDatabaseWithSerial(const QString& folder, const QString& serial) {
    // A logger line begins with its serial written as a plain number, so serials below 10000000 are stored
    // with fewer than eight digits: compare the line's leading number with the serial's value. A serial
    // text that is not all digits can only match a line beginning with exactly that text and a comma.
    bool numeric = !serial.isEmpty();
    for (QChar c : serial)
        if (!c.isDigit())
            numeric = false;
    const long long wanted = numeric ? serial.toLongLong() : -1;
    const std::string literal = plat::toAnsi(serial) + ",";

    for (const QString& name : plat::listFiles(folder, QStringLiteral("*"))) {
        if (!name.toLower().endsWith(QStringLiteral(".pdb")))
            continue;
        const QString full = QDir(folder).filePath(name);
        std::string data;
        if (!plat::readFileBytes(full, data))
            continue;
        for (std::string_view line : plat::splitLines(data)) {
            if (numeric) {
                size_t n = 0;
                while (n < line.size() && n < 10 && line[n] >= '0' && line[n] <= '9')
                    ++n;
                if (n > 0 && n < line.size() && line[n] == ',' && std::stoll(std::string(line.substr(0, n))) == wanted)
                    return full;
            } else if (line.substr(0, literal.size()) == literal) {
                return full;
            }
        }
    }
    return QString();
}

bool OpenBySerial(const QString& serial) {
    const QString hub = FindVordhubFolder(plat::programDir());
    if (hub.isEmpty()) {
        ShowMessage(QStringLiteral("Unable to find Vordhub directory"), 0);
        return false;
    }
    const QString file = FindDatabaseWithSerial(hub, serial);
    if (file.isEmpty()) {
        ShowMessage(QStringLiteral("Unable to find file with serial number ") + serial, 0);
        return false;
    }
    ProgramWindows& windows = programWindows();
    if (!windows.hasActiveDocument() || FileTitle(file).toLower() != FileTitle(windows.activeDocumentName()).toLower())
        windows.openDocument(file);
    if (!windows.hasActiveDocument())
        return false;
    windows.findInActive(serial);
    windows.showEditor();
    return true;
}
