#pragma once
#include <QString>

#include <array>
#include <utility>

// Removes the main program's stored settings for one distributor and title, for example before a
// reinstallation. Nothing outside the settings store is ever touched, whatever names are given.
namespace cleaner {

// The distributors whose copies of the program store their settings under "<company> - <title>".
struct Distributor {
    const char* code;
    const char* company;
};
extern const std::array<Distributor, 7> kDistributors;

// The key the settings live under: "<company> - <title>" for a known code, else "<title>"; an empty title is
// "Vordalin" (and then no company).
QString SettingsKey(const QString& code, const QString& title);
// The title the messages name.
QString EffectiveTitle(const QString& title);

// True when the key names the store of another program or part of this package (the PDA library's
// registration, the serial port map, the PDA library's own settings, the side programs' titles), in any
// letter case: those are never the main program's settings.
bool IsAnotherProgramsStore(const QString& key);

// What DeleteKeyTree gives, in the system's error numbers where there is one.
inline constexpr int kKeyDeleted = 0;
inline constexpr int kKeyNotDeleted = 1;   // there, but it could not be removed
inline constexpr int kKeyNotFound = 2;     // no such store
inline constexpr int kKeyRefused = 5;      // another program's store
inline constexpr int kKeyNameInvalid = 87; // a name that could lead outside the store

// The program's exit status: 0 when the settings were deleted (or none were stored, so none are left);
// non-zero when they were there and are still there.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNotDeleted = 1;
inline constexpr int kExitRefused = 2;

// The stored settings of one key and everything below it: one of the kKey values above. For kKeyNotDeleted,
// reason gets the system's reason.
int DeleteKeyTree(const QString& key, QString* reason = nullptr);

// The whole run: deletes the settings and returns the message to show; exitStatus gets the program's exit
// status.
QString VordClean(const QString& code, const QString& title, int* exitStatus = nullptr);

// The program: deletes, says what it did in a message box and gives the exit status.
int RunVordClean(const QString& code, const QString& title);

} // namespace cleaner
