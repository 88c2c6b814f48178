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

// The stored settings of one key and everything below it. 0 on success; otherwise an error (2: not there,
// 87: a name that could lead outside the store).
int DeleteKeyTree(const QString& key);

// The whole run: deletes the settings and returns the message to show.
QString VordClean(const QString& code, const QString& title);

} // namespace cleaner
