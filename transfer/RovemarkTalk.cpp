#include "transfer/RovemarkTalk.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/VbRuntime.h"
#include "transfer/TransferFolders.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>

int16_t ReceivedCount = 0;
QStringList ReceivedFiles{QString()};

namespace {

QString withSlash(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

QString resultFilePath(const QString& folder) {
    return plat::findFirstFile(withSlash(folder) + QLatin1String(kTransferResultName));
}

} // namespace

QString TransferProgramPath() {
    return withSlash(plat::programDir()) + QLatin1String(kTransferProgramName);
}

QStringList FieldUnitTransferArguments(const QString& mode, const QString& folder) {
    const QString link = UseModem ? QStringLiteral("Modem=") + NumberToDial : QStringLiteral("Direct");
    return {link, QStringLiteral("ComPort=") + QString::number(ComPort), mode, folder};
}

QString FieldUnitTransferCommand(const QString& mode, const QString& folder) {
    return u'"' + TransferProgramPath() + u'"' + u' ' + FieldUnitTransferArguments(mode, folder).join(u' ');
}

ExecOutcome ExecAndWait(const QString& program, const QStringList& arguments) {
    QProcess process;
    // The transfer program talks to the user through its result file only; what it prints goes with ours.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(-1))
        return ExecOutcome::NotStarted;
    if (QCoreApplication::instance()) {
        // A run can take many seconds: the windows keep painting meanwhile, so what the caller put in the
        // status line shows. User input waits until the run is over, and so do the timers (the auto-import
        // watcher's polls among them), as they would while the program is blocked.
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        if (process.state() != QProcess::NotRunning)
            loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers);
        // The program quitting meanwhile (its last window closed) ends every event loop, this one too; the
        // transfer program must still run to its end, not be killed half-way through a transfer.
        if (process.state() != QProcess::NotRunning)
            process.waitForFinished(-1);
    } else {
        process.waitForFinished(-1);
    }
    return process.exitStatus() == QProcess::NormalExit ? ExecOutcome::Finished : ExecOutcome::Crashed;
}

bool RunTransferProgram(const QString& mode, const QString& folder) {
    const QString program = TransferProgramPath();
    // A file under another letter case is found, named in the message and refused: the program is looked
    // for by its exact name only.
    const QString found = FileTitle(plat::findFirstFile(program));
    bool ran = false;
    if (found != QLatin1String(kTransferProgramName)) {
        // A program found under another spelling is named before the text; none at all gets a sentence of its own.
        if (found.isEmpty())
            ShowMessage(LoadLangString(txt::TransferProgramNotFound) + program, 0);
        else
            ShowMessage(found + LoadLangString(txt::TransferProgramMissing) + program, 0);
    } else {
        ShowStatusText(FieldUnitTransferCommand(mode, folder));
        switch (ExecAndWait(program, FieldUnitTransferArguments(mode, folder))) {
        case ExecOutcome::Finished:
            ran = true;
            break;
        case ExecOutcome::NotStarted:
            ShowMessage(LoadLangString(txt::TransferProgramNotStarted) + program, 0);
            break;
        case ExecOutcome::Crashed:
            ShowMessage(LoadLangString(txt::TransferProgramCrashed) + program, 0);
            break;
        }
    }
    ShowStatusText(QString());
    return ran;
}

bool ReadFromFieldUnit() {
    return RunTransferProgram(QStringLiteral("READ"), TransferFromFolder);
}

bool WriteToFieldUnit() {
    return RunTransferProgram(QStringLiteral("WRITE"), TransferToFolder);
}

void ListReceivedFiles(const QString& folder) {
    ReceivedCount = 0;
    ReceivedFiles = QStringList{QString()};
    for (const QString& name : plat::listFiles(folder, QStringLiteral("*.pdb"))) {
        if (ReceivedCount == INT16_MAX)
            break;
        ++ReceivedCount;
        ReceivedFiles << withSlash(folder) + name;
    }
}

bool TransferResultExists(const QString& folder) {
    return !resultFilePath(folder).isEmpty();
}

bool IsResultNumberLine(std::string_view line) {
    size_t i = 0;
    const auto blanks = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
    };
    const auto digitsOf = [&](const auto& isDigit) {
        const size_t from = i;
        while (i < line.size() && isDigit(line[i]))
            ++i;
        return i > from;
    };
    const auto decimal = [](char c) { return c >= '0' && c <= '9'; };
    blanks();
    if (i + 1 < line.size() && line[i] == '&' && (line[i + 1] == 'H' || line[i + 1] == 'h')) {
        i += 2;
        if (!digitsOf(
                [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }))
            return false;
    } else if (i + 1 < line.size() && line[i] == '&' && (line[i + 1] == 'O' || line[i + 1] == 'o')) {
        i += 2;
        if (!digitsOf([](char c) { return c >= '0' && c <= '7'; }))
            return false;
    } else {
        if (i < line.size() && (line[i] == '+' || line[i] == '-'))
            ++i;
        bool any = digitsOf(decimal);
        if (i < line.size() && line[i] == '.') {
            ++i;
            any = digitsOf(decimal) || any;
        }
        if (!any)
            return false;
        if (i < line.size() && (line[i] == 'E' || line[i] == 'e' || line[i] == 'D' || line[i] == 'd')) {
            ++i;
            if (i < line.size() && (line[i] == '+' || line[i] == '-'))
                ++i;
            if (!digitsOf(decimal))
                return false;
        }
    }
    blanks();
    return i == line.size();
}

std::optional<TransferResult> ReadTransferResult(const QString& folder) {
    const QString path = resultFilePath(folder);
    if (path.isEmpty())
        return std::nullopt;
    TransferResult result;
    std::string bytes;
    if (!plat::readFileBytes(path, bytes))
        return result; // there, but not readable: nothing to show
    const std::vector<std::string_view> lines = plat::splitLines(bytes);
    const std::string_view first = lines.empty() ? std::string_view() : lines[0];
    const std::string_view second = lines.size() < 2 ? std::string_view() : lines[1];
    if (!plat::vb::toInt16(plat::vb::Val(first), &result.number))
        result.number = 0;
    // Bytes that do not begin with the program's number line are not its word: shown raw they would only
    // puzzle the user.
    result.readable = IsResultNumberLine(first);
    if (result.readable) {
        result.text = plat::fromAnsi(second);
        ShowStatusText(result.text);
    }
    return result;
}
