#pragma once
// The map control of the map window: draws a MapModel over its base map and turns the mouse and keys into
// the model's operations and the notifications the map window handles. Users pan by dragging empty map,
// zoom with the wheel, pick a pushpin with a click, move it by dragging and remove it with Delete.
#include "mapview/BaseMap.h"
#include "mapview/MapModel.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

class QPainter;
class QRectF;

namespace mapview {

// Where the map comes from: read from the map's own settings (section "MapControl" of the program's
// settings store), with defaults that give a working map.
struct MapConfig {
    bool installed = true;    // "Installed": "0" makes the control unavailable
    bool automation = true;   // "Automation": "0" makes the product probe fail
    QString version = "18.0"; // "Version"
    long region = 2;          // "Region": 2 Europe, 1 North America
    QString tileSource;       // "TileSource": web template or tile folder
    QString baseMap;          // "BaseMap": a shapefile; empty = the system's world coastlines
    static MapConfig load();
};

class MapControl : public QWidget {
    Q_OBJECT
public:
    // The control as the map window creates it; null when the configuration says no map is installed.
    static MapControl* create(const MapConfig& config, QWidget* parent);
    MapControl(const MapConfig& config, QWidget* parent);
    ~MapControl() override;

    QString Version() const { return config_.version; }
    MapModel& ActiveMap() { return model_; }
    const MapModel& ActiveMap() const { return model_; }
    BaseMap& baseMap() { return base_; }

    // Opens a template as the current map (its base map is loaded then); throws MapError.
    void OpenMap(const QString& path);
    void CloseMap();

    // The printed page of the current view, drawn into page (in the painter's device units): the title at
    // the top, below it the view fitted to the rest of the page in its frame. The painter's state is kept.
    void PrintPage(QPainter& painter, const QRectF& page, const QString& title) const;
    // The current view as an image (screenshots, tests).
    QImage renderImage() const;

signals:
    void SelectionChange(mapview::Pushpin* now, mapview::Pushpin* before);
    void MapChange();
    // Button 1 left, 2 right; shift 1 Shift, 2 Ctrl, 4 Alt; X, Y in pixels of the control.
    void MouseButton(int button, int shift, int x, int y);
    void PointerPressed(int button, int shift, int x, int y, bool& cancel);
    void PointerDoubleClicked(int button, int shift, int x, int y, bool& cancel);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    static int shiftState(Qt::KeyboardModifiers modifiers);
    static int buttonCode(Qt::MouseButton button);

    MapConfig config_;
    MapModel model_;
    BaseMap base_;
    // The press that may become a click, a drag of a pushpin or a pan of the map.
    PushpinRef dragged_;
    QPoint pressAt_;
    QPointF grabOffset_; // from the cursor to the dragged pin's tip, in pixels
    QPointF pressCentre_;
    Qt::MouseButton pressButton_ = Qt::NoButton;
    bool moving_ = false;
};

} // namespace mapview
