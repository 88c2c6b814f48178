#pragma once
// What the map window learns from the installed map: its version and region, the template that goes with
// them and the pushpin symbol numbers of that version's symbol set.
#include <QString>

#include <exception>

namespace mapview {

// An error of the map or of the map window's own checks: a number and a description, as the window's load
// handler tells them apart (16396 and 30000 show the description, every other number the general text).
struct MapError : std::exception {
    MapError(long n, QString d) : number(n), description(std::move(d)) {}
    long number;
    QString description;
    const char* what() const noexcept override { return "map error"; }
};

constexpr long kErrDescriptionShown = 30000;
constexpr long kErrProductShown = 16396;

enum MapRegionCode { RegionEurope = 0, RegionNorthAmerica = 1 };

// Version code of a version text ("13.0" or "13,0" -> 1, "16" -> 0, "17" -> 2, "18" -> 3); -1 when unknown.
int MapVersionCode(const QString& versionText);
// Region code of the automation object's region value (2 Europe -> 0, 1 North America -> 1); -1 otherwise.
int MapRegionFromProduct(long region);
// Template file name for a region and version code; empty when there is none.
QString MapTemplateName(int region, int versionCode);
// Symbol number for "not in leak" (noLeak > 0) or "in leak"; 0 outside the table.
int PushpinSymbolFor(int versionCode, int region, int noLeak);
// The language text number of PushpinSymbolFor's failure for a version code.
int SymbolErrorText(int versionCode);

} // namespace mapview
