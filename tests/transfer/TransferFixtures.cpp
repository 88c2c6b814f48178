#include "TransferFixtures.h"
#include "core/ProgramWindows.h"

#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "core/Settings.h"
#include "documents/frmDMA.h"
#include "documents/frmDocument.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/WindowRegistry.h"
#include "transfer/TransferFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>

namespace {

LoggerRecord logger(int32_t serial) {
    LoggerRecord r;
    ClearLoggerRecord(r);
    r.Serial = serial;
    r.GridRef = "AB 1234 5678";
    r.Comment1 = "Main St";
    r.Deployed = "2023/01/02";
    r.ReadingDate[1] = "2023/02/01";
    r.ReadingStatus[1] = "L";
    r.Level[1] = 40;
    r.Spread[1] = 10;
    return r;
}

void fillTable(const std::vector<int32_t>& serials) {
    LoggerCount = static_cast<int16_t>(serials.size());
    for (size_t i = 0; i < serials.size(); ++i)
        LoggerTable[i + 1] = logger(serials[i]);
}

} // namespace

TransferTest::TransferTest() {
    ensureApplication();
    program_ = env.path(QStringLiteral("Vord Program"));
    QDir().mkpath(program_);
    QFile::copy(env.path(QStringLiteral("lang_english.txt")), path(QStringLiteral("lang_english.txt")));
    plat::setProgramDir(program_);
    InitDatabaseStore();
    LoggerCount = 0;
    ComPort = 2;
    UseModem = false;
    NumberToDial = QStringLiteral("0123");
    DownLoadCount = 7;
    Address2 = QStringLiteral("0");
    InitTransferFolders();
}

TransferTest::~TransferTest() {
    closeAllWindows();
    FieldUnitFormat = false;
}

void TransferTest::installFakeProgram(const std::map<std::string, std::string>& config, const QString& name) {
    const QString target = path(name);
    QFile::remove(target);
    QFile::copy(builtProgram("VORD_FAKE_TRANSFER"), target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    std::string cfg;
    for (const auto& [key, value] : config)
        cfg += key + '=' + value + '\n';
    if (!config.count("deliver"))
        cfg += "deliver=" + deliveryFolder().toStdString() + '\n';
    env.writeFile(QStringLiteral("Vord Program/") + name + QStringLiteral(".cfg"), cfg);
    QDir().mkpath(deliveryFolder());
}

std::vector<TransferTest::Run> TransferTest::runs() const {
    std::vector<Run> out;
    const QString log = QString::fromStdString(TestEnv::readFile(path(QStringLiteral("RovemarkTalk.log"))));
    for (const QString& line : log.split(u'\n', Qt::SkipEmptyParts)) {
        QStringList parts = line.split(u'\t');
        const QString kind = parts.takeFirst();
        if (kind == QStringLiteral("ARGS"))
            out.push_back({parts, {}});
        else if (kind == QStringLiteral("FILES") && !out.empty())
            out.back().files = parts;
    }
    return out;
}

void TransferTest::deliver(const QString& name, const std::vector<int32_t>& serials) const {
    QDir().mkpath(deliveryFolder());
    fillTable(serials);
    const QString file = deliveryFolder() + u'/' + name;
    FieldUnitFormat = true;
    WriteDatabaseFile(file, true, false);
    FieldUnitFormat = false;
    LoggerCount = 0;
    // The unit's own files carry the two fixed lines and then the loggers; the line of column texts that the
    // program adds when it writes this layout would read back as a logger numbered 0.
    std::string bytes = TestEnv::readFile(file);
    const size_t second = bytes.find("\r\n") + 2;
    const size_t third = bytes.find("\r\n", second) + 2;
    const size_t fourth = bytes.find("\r\n", third) + 2;
    bytes.erase(third, fourth - third);
    QFile f(file);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

frmDMA* TransferTest::openWindow(const QString& name, const std::vector<int32_t>& serials) {
    fillTable(serials);
    auto* window = new frmDMA;
    window->NumHistories = kMaxReadings;
    window->CopyFrom_DMAModule();
    window->setWindowTitle(QStringLiteral("/data/") + name);
    window->DMAName = name;
    LoggerCount = 0;
    return window;
}

QStringList TransferTest::files(const QString& folder) {
    return plat::listFiles(folder);
}

void TransferTest::closeAllWindows() {
    for (QWidget* w : plat::windows::loaded()) {
        if (auto* d = qobject_cast<frmDMA*>(w))
            d->AskForSave = false;
        if (auto* t = qobject_cast<frmDocument*>(w))
            t->AskForSave = false;
        if (plat::windows::formName(w) == QStringLiteral("frmAutoSyncWatcher"))
            delete w;
        else
            w->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::string fieldUnitBytes(frmDMA* window, const QString& scratchPath) {
    window->CopyTo_DMAModule();
    FieldUnitFormat = true;
    WriteDatabaseFile(scratchPath, true, false);
    FieldUnitFormat = false;
    return TestEnv::readFile(scratchPath);
}
