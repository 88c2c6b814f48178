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

// The stored settings of one key and everything below it. 0 on success; otherwise an error (2: not there,
// 5: another program's store, refused; 87: a name that could lead outside the store; 1: it could not be
// removed).
int DeleteKeyTree(const QString& key);

// The whole run: deletes the settings and returns the message to show.
QString VordClean(const QString& code, const QString& title);

} // namespace cleaner
