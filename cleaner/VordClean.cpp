#include "cleaner/VordClean.h"

#include <QDir>
#include <QFileInfo>

#include "platform/SettingsStore.h"
#include "platform/UiServices.h"

namespace cleaner {

const std::array<Distributor, 7> kDistributors = {{
    {"VRD", "Vordalin Systems"},
    {"AQT", "Aquatrace"},
    {"HDL", "Hydrolink"},
    {"PLS", "Pipeline Sensing"},
    {"WTS", "Waterside Technical"},
    {"LKS", "Leakscan Services"},
    {"NRD", "Nordic Flow"},
}};

QString EffectiveTitle(const QString& title) {
    return title.isEmpty() ? QStringLiteral("Vordalin") : title;
}

QString SettingsKey(const QString& code, const QString& title) {
    if (title.isEmpty())
        return QStringLiteral("Vordalin");
    for (const Distributor& d : kDistributors)
        if (code == QLatin1String(d.code))
            return QString::fromLatin1(d.company) + QStringLiteral(" - ") + title;
    return title;
}

bool IsAnotherProgramsStore(const QString& key) {
    // Every title the package's programs and parts keep settings under, but the main program's own.
    const char* const others[] = {
        plat::settings::kComponentRegistryTitle,
        plat::settings::kSerialPortsTitle,
        plat::settings::kPdaLibraryTitle,
        "VordSync",
        "Quendar32",
    };
    for (const char* other : others)
        if (QString::compare(key, QLatin1String(other), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

int DeleteKeyTree(const QString& key, QString* reason) {
    // A key is one name inside the store: never a path that climbs out of it or reaches into another key.
    if (key.isEmpty() || key.contains(u'/') || key.contains(u'\\') || key.contains(QStringLiteral("..")) ||
        key.contains(QChar(0)))
        return kKeyNameInvalid;
    // The main program's settings only: deleting the library's registration would leave the main program and
    // vordsync unable to create it, and the serial port map would be lost without a word.
    if (IsAnotherProgramsStore(key))
        return kKeyRefused;
    const QString path = plat::settings::filePath(key);
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() ||
        QDir(plat::settings::folder()).canonicalPath() != info.absoluteDir().canonicalPath())
        return kKeyNotFound;
    // The whole application's settings, every section with its keys, go with the one call.
    QString why;
    if (plat::settings::remove(key, QString(), QString(), &why))
        return kKeyDeleted;
    // Gone meanwhile (another cleaner): nothing is left to delete.
    if (why.isEmpty())
        return kKeyNotFound;
    if (reason)
        *reason = path + QStringLiteral(": ") + why;
    return kKeyNotDeleted;
}

QString VordClean(const QString& code, const QString& title, int* exitStatus) {
    int ignored = 0;
    int& status = exitStatus ? *exitStatus : ignored;
    status = kExitDone;
    const QString shown = EffectiveTitle(title);
    // The settings live in files here, not in a registry, and the messages say so.
    if (!QFileInfo(plat::settings::folder()).isDir())
        return QStringLiteral("No stored settings were found");
    QString reason;
    const int result = DeleteKeyTree(SettingsKey(code, title), &reason);
    if (result == kKeyRefused || result == kKeyNameInvalid)
        status = kExitRefused;
    switch (result) {
    case kKeyDeleted:
        return shown + QStringLiteral(" settings deleted");
    case kKeyNotDeleted:
        status = kExitNotDeleted;
        return shown + QStringLiteral(" settings were not deleted: ") + reason;
    case kKeyRefused:
        return QStringLiteral("Refused: \"") + shown +
               QStringLiteral("\" holds the settings of another part of this package, not those of the main program. "
                              "Nothing was deleted.");
    case kKeyNameInvalid:
        return QStringLiteral("Refused: \"") + shown +
               QStringLiteral("\" is not a settings name (it could reach outside the stored settings). Nothing was "
                              "deleted.");
    default:
        return QStringLiteral("No stored settings found for ") + shown;
    }
}

int RunVordClean(const QString& code, const QString& title) {
    int status = kExitDone;
    const QString message = VordClean(code, title, &status);
    plat::ui().messageBox(message, plat::MB_OK | plat::MB_ICONASTERISK, EffectiveTitle(title));
    return status;
}

} // namespace cleaner
