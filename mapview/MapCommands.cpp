#include "mapview/MapCommands.h"

#include "mapview/frmGps.h"

namespace mapview {

bool ShowMapWindow(QWidget* mainWindow) {
    try {
        if (frmGps* map = frmGps::instance()) {
            map->show();
            map->raise();
            map->activateWindow();
            return true;
        }
        auto* map = new frmGps(mainWindow);
        if (map->Form_Load())
            map->show();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void frmGPS_refreshLoggers() {
    if (frmGps* map = frmGps::instance())
        map->frmGPS_refreshLoggers();
}

void frmGPS_UpdateSerial(QString& oldSerial, QString& newSerial) {
    if (frmGps* map = frmGps::instance())
        map->frmGPS_UpdateSerial(oldSerial, newSerial);
}

void SetMapPrinter(MapPrintJob job) {
    frmGps::PrintJob = std::move(job);
}

} // namespace mapview
