#include "cleaner/VordClean.h"

#include <QDir>
#include <QFileInfo>

#include "platform/SettingsStore.h"

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

QString EffectiveTitle(const QString& title) { return title.isEmpty() ? QStringLiteral("Vordalin") : title; }

QString SettingsKey(const QString& code, const QString& title) {
    if (title.isEmpty())
        return QStringLiteral("Vordalin");
    for (const Distributor& d : kDistributors)
        if (code == QLatin1String(d.code))
            return QString::fromLatin1(d.company) + QStringLiteral(" - ") + title;
    return title;
}

int DeleteKeyTree(const QString& key) {
    // A key is one name inside the store: never a path that climbs out of it or reaches into another key.
    if (key.isEmpty() || key.contains(u'/') || key.contains(u'\\') || key.contains(QStringLiteral("..")) ||
        key.contains(QChar(0)))
        return 87;
    const QString path = plat::settings::filePath(key);
    const QFileInfo info(path);
    if (!info.exists() || info.isDir() || QDir(plat::settings::folder()).canonicalPath() != info.absoluteDir().canonicalPath())
        return 2;
    // The whole application's settings, every section with its keys, go with the one call.
    return plat::settings::remove(key) ? 0 : 5;
}

QString VordClean(const QString& code, const QString& title) {
    const QString shown = EffectiveTitle(title);
    if (!QFileInfo(plat::settings::folder()).isDir())
        return QStringLiteral("No Settings were found in the Registry");
    if (DeleteKeyTree(SettingsKey(code, title)) == 0)
        return shown + QStringLiteral(" Registry Deleted");
    return QStringLiteral("No Registry settings found for ") + shown;
}

} // namespace cleaner
