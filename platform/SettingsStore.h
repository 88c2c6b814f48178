#pragma once
#include <QString>
#include <QStringList>

// Per-user settings: application title -> section -> key -> text value. One INI file per application title
// under $VORD_SETTINGS_DIR, else $XDG_CONFIG_HOME/vb-program-settings (~/.config/vb-program-settings).
// Every lookup reads the file again, because other programs write keys (and the cleaner deletes the whole
// file) while ours run. Writes replace the file atomically under a lock, keeping every other key.
namespace plat::settings {

// Stores that hold no program's own settings but what the parts of the package share: the registration of
// the PDA link library, the serial port map, and the PDA link library's device settings.
inline constexpr char kComponentRegistryTitle[] = "ComponentRegistry";
inline constexpr char kSerialPortsTitle[] = "SerialPorts";
inline constexpr char kPdaLibraryTitle[] = "VordPDASupport";

QString folder();
QString filePath(const QString& appTitle);

// The stored text, or def when the key (or the file) is absent. Names compare without regard to case.
QString get(const QString& appTitle, const QString& section, const QString& key, const QString& def = {});
bool exists(const QString& appTitle, const QString& section, const QString& key);
// False when the store could not be written; errorText then gets the system's reason.
bool save(const QString& appTitle, const QString& section, const QString& key, const QString& value,
          QString* errorText = nullptr);
// Removes one key, a whole section (key empty) or the whole application (section empty).
// False when there was nothing to delete, or when it could not be deleted: then errorText gets the system's
// reason (and stays empty when there was nothing to delete).
bool remove(const QString& appTitle, const QString& section = {}, const QString& key = {},
            QString* errorText = nullptr);
QStringList keys(const QString& appTitle, const QString& section);

} // namespace plat::settings
