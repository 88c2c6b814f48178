#pragma once
// The map the map window draws on: a Web Mercator view (centre and zoom), pushpins with symbols, names,
// notes and balloons, pushpin data sets, the selection, and drawing of all of it onto any painter. It holds
// no widget: the map control (MapControl.h) puts it on screen and turns the mouse into its operations.
#include "mapview/MapProduct.h"

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QPainter;

namespace mapview {

class BaseMap;
class DataSet;
class MapModel;

struct Location {
    double Latitude = 0;
    double Longitude = 0;
};

// Spherical Web Mercator in world units: x and y from 0 to 1, y growing southwards (the tile layout).
namespace mercator {
constexpr double kMaxLatitude = 85.0511287798;
QPointF toWorld(double latitude, double longitude);
Location toLocation(const QPointF& world);
} // namespace mercator

class Pushpin {
public:
    // A deleted pushpin answers with an empty name and ignores changes, so a handle kept elsewhere stays safe.
    QString Name() const { return deleted_ ? QString() : name_; }
    void setName(const QString& name);
    Location location() const { return mercator::toLocation(world_); }
    QPointF world() const { return world_; }
    int Symbol() const { return symbol_; }
    void setSymbol(int symbol);
    // 0 none, 1 the name, 2 the name and the note.
    int BalloonState() const { return balloon_; }
    void setBalloonState(int state);
    QString Note() const { return note_; }
    void setNote(const QString& note);
    void Delete();
    // Makes it the map's selection (the selection notification follows).
    void Select();
    void MoveTo(DataSet& set);
    bool deleted() const { return deleted_; }
    // True once the user dragged it somewhere else.
    bool moved() const { return moved_; }
    DataSet* dataSet() const { return set_; }

private:
    friend class MapModel;
    friend class DataSet;
    MapModel* map_ = nullptr;
    DataSet* set_ = nullptr;
    QString name_;
    QString note_;
    QPointF world_;
    int symbol_ = 0;
    int balloon_ = 0;
    bool deleted_ = false;
    bool moved_ = false;
};

using PushpinRef = std::shared_ptr<Pushpin>;

class DataSet {
public:
    QString Name() const { return name_; }
    // Deletes the set and its pushpins; the map's count of sets always falls by one.
    void Delete();
    // Fits the view to the set's pushpins.
    void ZoomTo();
    int pushpinCount() const;

private:
    friend class MapModel;
    friend class Pushpin;
    MapModel* map_ = nullptr;
    QString name_;
};

using DataSetRef = std::shared_ptr<DataSet>;

// How the view is placed: the world point at the centre, the zoom level (tile levels, fractional allowed)
// and the size in pixels.
struct MapView {
    QPointF centre{0.5, 0.5};
    double zoom = 3;
    QSize size{800, 600};
    double scale() const; // pixels per world unit
    QPointF toScreen(const QPointF& world) const;
    QPointF toWorld(const QPointF& screen) const;
};

// Where a pushpin's balloon of the given size goes for a pushpin whose point is at tip, inside the view area:
// above the head and to its right, to its left where the right is too narrow, below the point where the top is
// too low; a balloon larger than the area keeps its top left corner in it.
QRectF BalloonBox(const QPointF& tip, const QSizeF& size, const QRectF& area);

class MapModel {
public:
    static constexpr double kMinZoom = 1;
    static constexpr double kMaxZoom = 19;

    MapModel();
    ~MapModel();
    MapModel(const MapModel&) = delete;
    MapModel& operator=(const MapModel&) = delete;

    // Notifications: the selection changed (new, old; either may be null); the user changed the map.
    std::function<void(Pushpin* now, Pushpin* before)> onSelectionChange;
    std::function<void()> onRepaint;

    // Version and region decide which symbol numbers draw as "in leak" and "not in leak".
    void setSymbolSet(int versionCode, int region);

    // Opens a template (an INI file: [Map] CenterLat, CenterLon, Zoom); throws MapError when it cannot.
    void OpenMap(const QString& path);
    void CloseMap();
    bool isOpen() const { return open_; }
    bool Saved = true;
    int Units = 0;

    const MapView& view() const { return view_; }
    void setViewSize(const QSize& size);
    void setCentre(const QPointF& world);
    void setZoom(double zoom);
    // Direction 8 north, 2 south, 4 west, 6 east; amount 0 moves a quarter of the view.
    void Pan(int direction, double amount);
    void ZoomIn();
    void ZoomOut();
    void zoomAbout(const QPointF& screen, double factorLevels);

    // Location of a point of the view in pixels.
    Location XYToLocation(double x, double y) const;
    // Location of a geographic point; throws MapError for a latitude beyond 90 or a longitude beyond 180.
    Location GetLocation(double latitude, double longitude, double altitude) const;
    QPointF locationToXY(const Location& location) const;

    PushpinRef AddPushpin(const Location& at, const QString& name);
    // First pushpin with exactly this name, or null.
    PushpinRef FindPushpin(const QString& name) const;
    int DataSetCount() const { return static_cast<int>(sets_.size()); }
    DataSetRef DataSetItem(int number) const; // 1..count; null outside
    DataSetRef AddPushpinSet(const QString& name);

    // The selection: a pushpin or nothing. Its type name is "Pushpin" or "".
    PushpinRef selection() const { return selected_.lock(); }
    QString SelectionTypeName() const { return selection() ? QStringLiteral("Pushpin") : QString(); }
    void select(const PushpinRef& pin);
    void clearSelection();

    // The pushpin drawn topmost at a point of the view, or null.
    PushpinRef pushpinAt(const QPointF& screen) const;
    // Puts a pushpin at a new world point: the user's drag.
    void dragTo(const PushpinRef& pin, const QPointF& world);

    const std::vector<PushpinRef>& pushpins() const { return pins_; }

    // Draws base map, pushpins and balloons for the current view onto a painter of the view's size.
    void render(QPainter& painter, const BaseMap* base) const;

private:
    friend class Pushpin;
    friend class DataSet;
    void removePin(Pushpin* pin);
    void deleteSet(DataSet* set);
    void zoomToSet(DataSet* set);
    void changed() const;
    int symbolStyle(int symbol) const; // 0 other, 1 not in leak, 2 in leak

    std::vector<PushpinRef> pins_;
    std::vector<DataSetRef> sets_;
    std::weak_ptr<Pushpin> selected_;
    MapView view_;
    bool open_ = false;
    int leakSymbol_ = 399;
    int quietSymbol_ = 398;
};

} // namespace mapview
