// What the map window's three source files share among themselves.
#pragma once

#include <QString>

#include <exception>

namespace mapview::gpscommon {

// "On Error Resume Next" for one step: a failing step is skipped and the next one runs.
template <typename F> void ignoring(F&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

// An entry of the serial list that holds no pushpin: never used, or its logger was deleted from the map.
inline bool isGap(const QString& entry) {
    return entry.isEmpty() || entry == QLatin1String("deleted");
}

} // namespace mapview::gpscommon
