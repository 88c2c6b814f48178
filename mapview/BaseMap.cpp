#include "mapview/BaseMap.h"

#include <shapefil.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mapview {

BaseMap::BaseMap(QObject* parent) : QObject(parent), tiles_(kTileCacheBytes) {}

BaseMap::~BaseMap() = default;

QString BaseMap::findSystemCoastlines() {
    const QDir share(QStringLiteral("/usr/share"));
    for (const QString& dir : share.entryList({QStringLiteral("plplot*")}, QDir::Dirs, QDir::Name | QDir::Reversed)) {
        const QString path = share.filePath(dir + QStringLiteral("/cglobe.shp"));
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

bool BaseMap::loadShapes(const QString& shpPath) {
    // Errors come back as a missing handle; shapelib's own report on the error stream is not wanted.
    SAHooks hooks;
    SASetupDefaultHooks(&hooks);
    hooks.Error = [](const char*) {};
    SHPHandle handle = SHPOpenLL(QFile::encodeName(shpPath).constData(), "rb", &hooks);
    if (!handle)
        return false;
    int count = 0, type = 0;
    SHPGetInfo(handle, &count, &type, nullptr, nullptr);
    std::vector<Shape> shapes;
    for (int i = 0; i < count; ++i) {
        SHPObject* obj = SHPReadObject(handle, i);
        if (!obj)
            continue;
        if (obj->nVertices > 0 && obj->padfX && obj->padfY) {
            // Each part is drawn on its own: parts of one record are separate lines, not one path.
            for (int part = 0; part < std::max(1, obj->nParts); ++part) {
                const int from = obj->nParts > 0 ? obj->panPartStart[part] : 0;
                const int to = obj->nParts > 0 && part + 1 < obj->nParts ? obj->panPartStart[part + 1] : obj->nVertices;
                Shape s;
                s.points.reserve(std::max(0, to - from));
                for (int v = std::max(0, from); v < std::min(to, obj->nVertices); ++v) {
                    if (!std::isfinite(obj->padfX[v]) || !std::isfinite(obj->padfY[v]))
                        continue;
                    s.points << mercator::toWorld(obj->padfY[v], obj->padfX[v]);
                }
                if (s.points.size() >= 2) {
                    s.bounds = s.points.boundingRect();
                    shapes.push_back(std::move(s));
                }
            }
        }
        SHPDestroyObject(obj);
    }
    SHPClose(handle);
    if (shapes.empty())
        return false;
    shapes_ = std::move(shapes);
    return true;
}

void BaseMap::setTileSource(const QString& source, const QString& cacheDir) {
    tileSource_ = source.trimmed();
    tiles_.clear();
    missing_.clear();
    pending_.clear();
    webTiles_ = tileSource_.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
                tileSource_.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    if (webTiles_ && !network_) {
        network_ = new QNetworkAccessManager(this);
        if (!cacheDir.isEmpty()) {
            auto* cache = new QNetworkDiskCache(network_);
            cache->setCacheDirectory(cacheDir);
            cache->setMaximumCacheSize(200LL * 1024 * 1024);
            network_->setCache(cache);
        }
        connect(network_, &QNetworkAccessManager::finished, this, &BaseMap::fetched);
    }
}

QString BaseMap::tilePath(int z, int x, int y) const {
    QString t = tileSource_;
    if (!t.contains(QLatin1String("{z}")))
        t += QStringLiteral("/{z}/{x}/{y}.png");
    t.replace(QLatin1String("{z}"), QString::number(z));
    t.replace(QLatin1String("{x}"), QString::number(x));
    t.replace(QLatin1String("{y}"), QString::number(y));
    return t;
}

QImage BaseMap::decodeTile(const QByteArray& bytes) {
    if (bytes.isEmpty() || bytes.size() > kMaxTileBytes)
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The size comes from the header, before anything is unpacked; a format that cannot tell it is refused.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxTileSide || size.height() > kMaxTileSide)
        return {};
    // In megabytes: a decoder that ignores its own header is stopped all the same.
    reader.setAllocationLimit(std::max(1, int(qint64(kMaxTileSide) * kMaxTileSide * 8 / (1024 * 1024))));
    QImage image = reader.read();
    if (image.width() > kMaxTileSide || image.height() > kMaxTileSide)
        return {};
    return image;
}

const QImage* BaseMap::keep(const QString& key, QImage image) const {
    const qsizetype cost = std::max<qsizetype>(1, image.sizeInBytes());
    // The cache deletes what does not fit at once, so the tile is looked up again rather than trusted.
    tiles_.insert(key, new QImage(std::move(image)), cost);
    return tiles_.object(key);
}

const QImage* BaseMap::tile(int z, int x, int y) const {
    const QString key = tilePath(z, x, y);
    if (const QImage* image = tiles_.object(key))
        return image;
    if (missing_.contains(key) || pending_.contains(key))
        return nullptr;
    if (!webTiles_) {
        QFile file(key);
        QImage image;
        if (file.open(QIODevice::ReadOnly))
            image = decodeTile(file.read(kMaxTileBytes + 1));
        if (image.isNull()) {
            missing_.insert(key);
            return nullptr;
        }
        return keep(key, std::move(image));
    }
    QNetworkRequest request{QUrl(key)};
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Vordalin map view"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
    request.setTransferTimeout(15000);
    pending_.insert(key);
    QNetworkReply* reply = network_->get(request);
    reply->setProperty("tileKey", key);
    // Left unbounded, a reply takes in whatever the server sends as fast as the network gives it, faster than
    // it could be stopped. Its buffer is bounded to a tile's limit, and what comes in is taken out of it at once
    // (the reply stops reading while its buffer is full): a reply that goes past the limit is given up as soon
    // as the byte over it is in.
    reply->setReadBufferSize(kMaxTileBytes + 1);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { takeIn(reply); });
    // A length announced beyond any tile is given up at once.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64, qint64 total) {
        if (total > kMaxTileBytes)
            reply->abort();
    });
    return nullptr;
}

void BaseMap::takeIn(QNetworkReply* reply) const {
    QByteArray& bytes = incoming_[reply];
    bytes += reply->read(kMaxTileBytes + 1 - bytes.size());
    if (bytes.size() > kMaxTileBytes)
        reply->abort(); // finishes the reply, which drops what was taken in
}

void BaseMap::fetched(QNetworkReply* reply) {
    const QString key = reply->property("tileKey").toString();
    pending_.remove(key);
    QByteArray bytes = incoming_.take(reply);
    QImage image;
    if (reply->error() == QNetworkReply::NoError) {
        bytes += reply->read(kMaxTileBytes + 1 - bytes.size());
        image = decodeTile(bytes);
    }
    reply->deleteLater();
    if (image.isNull()) {
        missing_.insert(key);
        return;
    }
    keep(key, std::move(image));
    if (onTileArrived)
        onTileArrived();
}

void BaseMap::draw(QPainter& painter, const MapView& view) const {
    const QRectF area(QPointF(0, 0), QSizeF(view.size));
    const bool shapes = hasShapes();
    painter.fillRect(area, shapes ? QColor(214, 230, 242) : QColor(240, 240, 234));
    if (shapes)
        drawShapes(painter, view);
    if (hasTiles())
        drawTiles(painter, view);
    if (!hasTiles())
        drawGrid(painter, view);
    drawScaleBar(painter, view);
}

ScaleBar ScaleBarFor(const MapView& view, double maxPixels) {
    // Mercator: a world unit spans the equator; along a parallel the ground shrinks with the cosine.
    constexpr double kEquatorMetres = 40075016.686;
    const double latitude = mercator::toLocation(view.centre).Latitude;
    const double metresPerPixel =
        kEquatorMetres * std::cos(latitude * std::numbers::pi / 180.0) / std::max(view.scale(), 1e-9);
    ScaleBar bar;
    if (!(metresPerPixel > 0) || !(maxPixels > 0))
        return bar;
    const double most = metresPerPixel * maxPixels;
    const double power = std::pow(10.0, std::floor(std::log10(most)));
    const double metres = most / power >= 5 ? 5 * power : most / power >= 2 ? 2 * power : power;
    bar.metres = metres;
    bar.pixels = metres / metresPerPixel;
    bar.label = metres >= 1000 ? QString::number(metres / 1000.0, 'g', 6) + QStringLiteral(" km")
                               : QString::number(metres, 'g', 6) + QStringLiteral(" m");
    return bar;
}

void BaseMap::drawShapes(QPainter& painter, const MapView& view) const {
    const QRectF worldView(view.toWorld(QPointF(0, 0)), view.toWorld(QPointF(view.size.width(), view.size.height())));
    const double s = view.scale();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    QPen pen(QColor(90, 110, 130));
    pen.setWidthF(1.2);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // Screen coordinates are computed here rather than through a painter transform: at street level the
    // scale is in the hundreds of millions, beyond what the raster engine keeps exact.
    QPolygonF onScreen;
    const QPointF offset(view.size.width() / 2.0, view.size.height() / 2.0);
    for (const Shape& shape : shapes_) {
        if (!shape.bounds.intersects(worldView) && !worldView.contains(shape.bounds.topLeft()))
            continue;
        onScreen.resize(shape.points.size());
        for (qsizetype i = 0; i < shape.points.size(); ++i)
            onScreen[i] = (shape.points[i] - view.centre) * s + offset;
        painter.drawPolyline(onScreen);
    }
    painter.restore();
}

void BaseMap::drawTiles(QPainter& painter, const MapView& view) const {
    const int z = std::clamp(static_cast<int>(std::lround(view.zoom)), 0, 19);
    const int n = 1 << z;
    const QPointF tl = view.toWorld(QPointF(0, 0));
    const QPointF br = view.toWorld(QPointF(view.size.width(), view.size.height()));
    const int x0 = std::max(0, static_cast<int>(std::floor(tl.x() * n)));
    const int y0 = std::max(0, static_cast<int>(std::floor(tl.y() * n)));
    const int x1 = std::min(n - 1, static_cast<int>(std::floor(br.x() * n)));
    const int y1 = std::min(n - 1, static_cast<int>(std::floor(br.y() * n)));
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const QImage* image = tile(z, x, y);
            if (!image)
                continue;
            const QPointF a = view.toScreen(QPointF(double(x) / n, double(y) / n));
            const QPointF b = view.toScreen(QPointF(double(x + 1) / n, double(y + 1) / n));
            // Whole pixels on both edges, so neighbouring tiles meet without a seam.
            const QRectF target(QPointF(std::floor(a.x()), std::floor(a.y())),
                                QPointF(std::ceil(b.x()), std::ceil(b.y())));
            painter.drawImage(target, *image);
        }
    painter.restore();
}

void BaseMap::drawScaleBar(QPainter& painter, const MapView& view) const {
    const ScaleBar bar = ScaleBarFor(view, std::min(160.0, view.size.width() / 3.0));
    if (bar.pixels < 1)
        return;
    painter.save();
    QFont f = painter.font();
    f.setPointSizeF(7.5);
    painter.setFont(f);
    const QFontMetricsF fm(f, painter.device());
    const double left = 10;
    const double base = view.size.height() - fm.height() - 8; // clear of the longitude labels below
    const QRectF box(left - 4, base - fm.height() - 6, bar.pixels + 8 + fm.horizontalAdvance(bar.label) + 6,
                     fm.height() + 12);
    painter.fillRect(box, QColor(255, 255, 255, 190));
    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(QPointF(left, base), QPointF(left + bar.pixels, base));
    painter.drawLine(QPointF(left, base - 5), QPointF(left, base));
    painter.drawLine(QPointF(left + bar.pixels, base - 5), QPointF(left + bar.pixels, base));
    painter.drawText(QPointF(left + bar.pixels + 6, base), bar.label);
    painter.restore();
}

void BaseMap::drawGrid(QPainter& painter, const MapView& view) const {
    const Location tl = mercator::toLocation(view.toWorld(QPointF(0, 0)));
    const Location br = mercator::toLocation(view.toWorld(QPointF(view.size.width(), view.size.height())));
    const double span = std::max(std::fabs(br.Longitude - tl.Longitude), 1e-9);
    // A step of 1, 2 or 5 times a power of ten that gives about eight lines across.
    const double raw = span / 8.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double step = raw / power < 2 ? power : raw / power < 5 ? 2 * power : 5 * power;
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step))));
    painter.save();
    painter.setPen(QPen(QColor(180, 180, 170), 1));
    QFont f = painter.font();
    f.setPointSizeF(7.5);
    painter.setFont(f);
    for (double lon = std::ceil(tl.Longitude / step) * step; lon <= br.Longitude; lon += step) {
        const double x = view.toScreen(mercator::toWorld(0, lon)).x();
        painter.drawLine(QPointF(x, 0), QPointF(x, view.size.height()));
        painter.drawText(QPointF(x + 2, view.size.height() - 4), QString::number(lon, 'f', decimals));
    }
    for (double lat = std::ceil(br.Latitude / step) * step; lat <= tl.Latitude; lat += step) {
        const double y = view.toScreen(mercator::toWorld(lat, 0)).y();
        painter.drawLine(QPointF(0, y), QPointF(view.size.width(), y));
        painter.drawText(QPointF(3, y - 2), QString::number(lat, 'f', decimals));
    }
    painter.restore();
}

} // namespace mapview
