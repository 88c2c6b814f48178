#include "platform/ComponentRegistry.h"

#include "platform/SettingsStore.h"

namespace plat::components {
namespace {
const QString kApp = QLatin1String(settings::kComponentRegistryTitle);
const QString kSection = QStringLiteral("ProgIDs");
} // namespace

QString registrationFile() {
    return settings::filePath(kApp);
}

bool registerServer(const QString& progId, const QString& libraryPath) {
    return settings::save(kApp, kSection, progId, libraryPath);
}

bool unregisterServer(const QString& progId) {
    return settings::remove(kApp, kSection, progId);
}

QString libraryFor(const QString& progId) {
    return settings::get(kApp, kSection, progId);
}

} // namespace plat::components
