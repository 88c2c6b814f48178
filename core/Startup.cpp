#include "core/Startup.h"

#include "core/DMAModule.h"
#include "core/Seams.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "core/frmSplash.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/Twips.h"
#include "platform/UiServices.h"
#include "platform/VbRuntime.h"

#include <QDir>
#include <QFile>
#include <QWidget>

void Main(const QStringList& arguments) {
    InitDatabaseStore();
    LoadSettings();
    {
        frmSplash splash;
        splash.SplashDelay = kStartupSplashDelay;
        splash.showModal();
    }
    StartAutoSyncWatcher();
    if (seams::startupWindows) {
        seams::startupWindows->initTransferFolders();
        seams::startupWindows->loadRecordEditorHidden();
    }
    if (seams::mainWindow)
        seams::mainWindow->showMain();

    SplitCommandLine(arguments);
    for (int i = 1; i <= CommandLineArgCount; ++i) {
        const QString arg = CommandLineArgs.at(i);
        if (arg.startsWith(QStringLiteral("/s="))) {
            const QString serial = arg.size() < 8 ? arg : arg.right(8);
            if (OpenBySerial(serial) && seams::recordEditor)
                seams::recordEditor->toggleGraph();
        } else if (seams::documents) {
            seams::documents->openDocument(arg);
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
    if (!seams::documents)
        return false;
    if (!seams::documents->hasActiveDocument() ||
        FileTitle(file).toLower() != FileTitle(seams::documents->activeDocumentName()).toLower())
        seams::documents->openDocument(file);
    if (!seams::documents->hasActiveDocument())
        return false;
    seams::documents->findInActive(serial);
    if (seams::recordEditor)
        seams::recordEditor->showEditor();
    return true;
}

void SetDefaultMainSize(QWidget* form) {
    form->resize(plat::twips::toPixelsX(9600), plat::twips::toPixelsY(7200));
}

void CentreForm(QWidget* form) {
    const double w = plat::twips::fromPixelsX(form->frameGeometry().width());
    const double h = plat::twips::fromPixelsY(form->frameGeometry().height());
    const double left = (plat::twips::screenWidth() - w) / 2;
    const double top = (plat::twips::screenHeight() - h) / 2;
    form->move(plat::twips::toPixelsX(left), plat::twips::toPixelsY(top));
}

void ShowMapWindow() {
    if (!seams::startupWindows || !seams::startupWindows->showMapWindow())
        plat::ui().messageBox(
            QStringLiteral("Could not start GPS function, please ensure that MapPoint is installed on your computer."),
            plat::MB_OK, QString());
}

void UpdateAllAddInfoCommand() {
    if (seams::documents && seams::documents->hasActiveDocument()) {
        ShowStatusText(LoadLangString(seams::documents->updateAllAdditionalInformation() ? 647 : 646));
    } else {
        ShowMessage(LoadLangString(129), 0);
    }
}

void StartAutoSyncWatcher() {
    if (seams::startupWindows)
        seams::startupWindows->startAutoSyncWatcher();
}
