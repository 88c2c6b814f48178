#include "transfer/RovemarkTalk.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/VbRuntime.h"
#include "transfer/TransferFolders.h"
#include "lang/LangText.h"

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
    process.waitForFinished(-1);
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

int16_t ReadTransferResult(const QString& folder) {
    const QString path = resultFilePath(folder);
    if (path.isEmpty())
        return kNoTransferResult;
    std::string bytes;
    if (!plat::readFileBytes(path, bytes))
        return kNoTransferResult;
    const std::vector<std::string_view> lines = plat::splitLines(bytes);
    const std::string_view first = lines.empty() ? std::string_view() : lines[0];
    const std::string_view second = lines.size() < 2 ? std::string_view() : lines[1];
    ShowStatusText(plat::fromAnsi(second));
    int16_t result = 0;
    if (!plat::vb::toInt16(plat::vb::Val(first), &result))
        result = 0;
    return result;
}
