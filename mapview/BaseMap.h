#pragma once
// What lies under the pushpins: raster tiles from a source the user names (a web address template or a
// local folder of z/x/y.png tiles) or the offline world coastlines and borders read from a shapefile. Without
// tiles a labelled latitude/longitude grid is drawn at every zoom, so a town far from any coastline is not an
// empty field; a scale bar is always drawn. Missing tiles show the coastlines beneath.
#include "mapview/MapModel.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPolygonF>
#include <QSet>
#include <QString>

#include <functional>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace mapview {

// The scale bar of a view: a round ground distance (1, 2 or 5 times a power of ten metres) and its length in
// pixels along the parallel through the view's centre, as long as fits in maxPixels.
struct ScaleBar {
    double metres = 0;
    double pixels = 0;
    QString label; // "200 m", "5 km"
};
ScaleBar ScaleBarFor(const MapView& view, double maxPixels);

class BaseMap : public QObject {
    Q_OBJECT
public:
    explicit BaseMap(QObject* parent = nullptr);
    ~BaseMap() override;

    // Reads the polylines and polygons of an ESRI shapefile; false when it cannot be read (nothing changes).
    bool loadShapes(const QString& shpPath);
    bool hasShapes() const { return !shapes_.empty(); }
    int shapeCount() const { return static_cast<int>(shapes_.size()); }
    // The world coastline file shipped by the system's plotting data package, or "" when it is not installed.
    static QString findSystemCoastlines();

    // "https://host/{z}/{x}/{y}.png", or a folder holding z/x/y.png (an "{z}" pattern in a folder works too).
    // Web tiles are fetched in the background through a disk cache in cacheDir.
    void setTileSource(const QString& source, const QString& cacheDir = {});
    QString tileSource() const { return tileSource_; }
    bool hasTiles() const { return !tileSource_.isEmpty(); }

    // A tile's image from the bytes of its file or reply; a null image when they are not a picture, are more
    // than kMaxTileBytes, or would decode to more than kMaxTileSide pixels a side. A tile is 256 by 256 (512
    // from servers for high-density screens); a small file must not unpack into hundreds of megabytes.
    static constexpr qint64 kMaxTileBytes = 1024 * 1024;
    static constexpr int kMaxTileSide = 512;
    static QImage decodeTile(const QByteArray& bytes);
    // The decoded tiles kept for drawing, in bytes: at most kTileCacheBytes.
    static constexpr qsizetype kTileCacheBytes = 64 * 1024 * 1024;
    qsizetype cachedTileBytes() const { return tiles_.totalCost(); }

    // Called when a fetched tile arrived, so the view can be drawn again.
    std::function<void()> onTileArrived;

    void draw(QPainter& painter, const MapView& view) const;

private:
    struct Shape {
        QPolygonF points; // world units
        QRectF bounds;
    };
    QString tilePath(int z, int x, int y) const;
    const QImage* tile(int z, int x, int y) const;
    const QImage* keep(const QString& key, QImage image) const;
    // Moves what has come in for a tile out of its reply; gives the reply up once it is more than a tile.
    void takeIn(QNetworkReply* reply) const;
    void fetched(QNetworkReply* reply);
    void drawShapes(QPainter& painter, const MapView& view) const;
    void drawTiles(QPainter& painter, const MapView& view) const;
    void drawGrid(QPainter& painter, const MapView& view) const;
    void drawScaleBar(QPainter& painter, const MapView& view) const;

    std::vector<Shape> shapes_;
    QString tileSource_;
    bool webTiles_ = false;
    mutable QCache<QString, QImage> tiles_; // cost: bytes
    mutable QSet<QString> missing_;
    mutable QSet<QString> pending_;
    mutable QHash<QNetworkReply*, QByteArray> incoming_; // the bytes of each tile reply so far
    QNetworkAccessManager* network_ = nullptr;
};

} // namespace mapview
