#pragma once
// What the rest of the program calls of the map view.
#include <QString>

#include <functional>

class QPainter;
class QRectF;
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
// The map's printed page: drawn with the painter into the page rectangle (in the units of the painter's
// device, the printable area of the page).
using MapPageDrawer = std::function<void(QPainter& painter, const QRectF& page)>;
// Runs one print job of the map on the program's current printer: the title names the job; copies and
// orientation (1 landscape, 0 portrait) hold for this job only. It tells the user itself when the job fails;
// false then, or when the user cancelled.
using MapPrintJob =
    std::function<bool(const QString& title, int copies, int orientation, const MapPageDrawer& drawPage)>;
// Where the map's File > Print goes (set by the program; without it the map prints nothing).
void SetMapPrinter(MapPrintJob job);

} // namespace mapview
