#pragma once
// What the rest of the program calls of the map view.
#include <QString>

#include <functional>

class QPrinter;
class QWidget;

namespace mapview {

// The map command: shows the map window of the active logger list (made and loaded when there is none yet).
// mainWindow is disabled while the map is open. The window reports its own start-up failures; false only
// when it could not be made at all (the caller then says the map could not start).
bool ShowMapWindow(QWidget* mainWindow);
// The record editor's calls while the map is open, through the program's windows (both do nothing without a
// map window).
void frmGPS_refreshLoggers();
void frmGPS_UpdateSerial(QString& oldSerial, QString& newSerial);
// Where the map's File > Print goes: the program's current printer.
void SetMapPrinter(std::function<QPrinter*()> printer);

} // namespace mapview
