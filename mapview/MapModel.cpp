#include "mapview/MapModel.h"

#include "mapview/BaseMap.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSettings>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mapview {

// --- projection ------------------------------------------------------------------------------------------

namespace mercator {
QPointF toWorld(double latitude, double longitude) {
    const double lat = std::clamp(latitude, -kMaxLatitude, kMaxLatitude) * std::numbers::pi / 180.0;
    const double x = (longitude + 180.0) / 360.0;
    const double y = (1.0 - std::log(std::tan(lat) + 1.0 / std::cos(lat)) / std::numbers::pi) / 2.0;
    return {x, y};
}

Location toLocation(const QPointF& world) {
    // Once round the world and back, in one step whatever the distance (subtracting 360 at a time never ends
    // for a huge value). A point off every map has no longitude.
    double lon = std::fmod(world.x() * 360.0 - 180.0, 360.0);
    if (lon > 180.0)
        lon -= 360.0;
    else if (lon < -180.0)
        lon += 360.0;
    const double n = std::numbers::pi * (1.0 - 2.0 * world.y());
    const double lat = std::atan(std::sinh(n)) * 180.0 / std::numbers::pi;
    return {lat, lon};
}
} // namespace mercator

double MapView::scale() const {
    return 256.0 * std::pow(2.0, zoom);
}

QPointF MapView::toScreen(const QPointF& world) const {
    const double s = scale();
    return {(world.x() - centre.x()) * s + size.width() / 2.0, (world.y() - centre.y()) * s + size.height() / 2.0};
}

QPointF MapView::toWorld(const QPointF& screen) const {
    const double s = scale();
    return {centre.x() + (screen.x() - size.width() / 2.0) / s, centre.y() + (screen.y() - size.height() / 2.0) / s};
}

// --- pushpins and data sets ------------------------------------------------------------------------------

void Pushpin::setName(const QString& name) {
    if (deleted_)
        return;
    name_ = name;
    if (map_)
        map_->changed();
}

void Pushpin::setSymbol(int symbol) {
    if (deleted_)
        return;
    symbol_ = symbol;
    if (map_)
        map_->changed();
}

void Pushpin::setBalloonState(int state) {
    if (deleted_)
        return;
    balloon_ = std::clamp(state, 0, 2);
    if (map_)
        map_->changed();
}

void Pushpin::setNote(const QString& note) {
    if (deleted_)
        return;
    note_ = note;
    if (map_)
        map_->changed();
}

void Pushpin::Delete() {
    if (deleted_)
        return;
    deleted_ = true;
    if (map_)
        map_->removePin(this);
    map_ = nullptr;
    set_ = nullptr;
}

void Pushpin::Select() {
    if (deleted_ || !map_)
        return;
    for (const PushpinRef& p : map_->pins_)
        if (p.get() == this) {
            map_->select(p);
            return;
        }
}

void Pushpin::MoveTo(DataSet& set) {
    if (!deleted_ && set.map_ == map_)
        set_ = &set;
}

void DataSet::Delete() {
    if (map_)
        map_->deleteSet(this);
}

void DataSet::ZoomTo() {
    if (map_)
        map_->zoomToSet(this);
}

int DataSet::pushpinCount() const {
    if (!map_)
        return 0;
    return static_cast<int>(
        std::count_if(map_->pins_.begin(), map_->pins_.end(), [&](const PushpinRef& p) { return p->set_ == this; }));
}

// --- the map ---------------------------------------------------------------------------------------------

MapModel::MapModel() = default;

MapModel::~MapModel() {
    CloseMap();
}

void MapModel::setSymbolSet(int versionCode, int region) {
    const int quiet = PushpinSymbolFor(versionCode, region, 1);
    const int leak = PushpinSymbolFor(versionCode, region, 0);
    if (quiet && leak) {
        quietSymbol_ = quiet;
        leakSymbol_ = leak;
    }
}

void MapModel::OpenMap(const QString& path) {
    if (!QFileInfo(path).isFile())
        throw MapError(2, QStringLiteral("The map file could not be opened: ") + path);
    QSettings ini(path, QSettings::IniFormat);
    bool okLat = false, okLon = false, okZoom = false;
    const double lat = ini.value(QStringLiteral("Map/CenterLat")).toString().toDouble(&okLat);
    const double lon = ini.value(QStringLiteral("Map/CenterLon")).toString().toDouble(&okLon);
    const double zoom = ini.value(QStringLiteral("Map/Zoom")).toString().toDouble(&okZoom);
    if (ini.status() != QSettings::NoError || !okLat || !okLon || !okZoom || !std::isfinite(lat) ||
        !std::isfinite(lon) || !std::isfinite(zoom))
        throw MapError(2, QStringLiteral("The map file is not a map: ") + path);
    CloseMap();
    open_ = true;
    Saved = true;
    sets_.push_back(std::make_shared<DataSet>());
    sets_.back()->map_ = this;
    sets_.back()->name_ = QStringLiteral("My Pushpins");
    // A centre beyond the date line is the same place once round the world.
    view_.centre = mercator::toWorld(lat, std::remainder(lon, 360.0));
    setZoom(zoom);
}

void MapModel::CloseMap() {
    const PushpinRef before = selection();
    selected_.reset();
    for (const PushpinRef& p : pins_) {
        p->deleted_ = true;
        p->map_ = nullptr;
        p->set_ = nullptr;
    }
    pins_.clear();
    for (const DataSetRef& s : sets_)
        s->map_ = nullptr;
    sets_.clear();
    open_ = false;
    if (before && onSelectionChange)
        onSelectionChange(nullptr, before.get());
    changed();
}

void MapModel::setViewSize(const QSize& size) {
    view_.size = size.expandedTo(QSize(1, 1));
}

void MapModel::setCentre(const QPointF& world) {
    view_.centre = {std::clamp(world.x(), 0.0, 1.0), std::clamp(world.y(), 0.0, 1.0)};
    changed();
}

void MapModel::setZoom(double zoom) {
    view_.zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    changed();
}

void MapModel::Pan(int direction, double amount) {
    const double s = view_.scale();
    const double dx = (amount > 0 ? amount : view_.size.width() / 4.0) / s;
    const double dy = (amount > 0 ? amount : view_.size.height() / 4.0) / s;
    QPointF c = view_.centre;
    switch (direction) {
    case 8:
        c.ry() -= dy;
        break;
    case 2:
        c.ry() += dy;
        break;
    case 4:
        c.rx() -= dx;
        break;
    case 6:
        c.rx() += dx;
        break;
    default:
        return;
    }
    setCentre(c);
}

void MapModel::ZoomIn() {
    setZoom(view_.zoom + 1);
}

void MapModel::ZoomOut() {
    setZoom(view_.zoom - 1);
}

void MapModel::zoomAbout(const QPointF& screen, double levels) {
    const QPointF anchor = view_.toWorld(screen);
    const double zoom = std::clamp(view_.zoom + levels, kMinZoom, kMaxZoom);
    view_.zoom = zoom;
    // Keep the point under the pointer where it was.
    const QPointF after = view_.toWorld(screen);
    setCentre(view_.centre + (anchor - after));
}

Location MapModel::XYToLocation(double x, double y) const {
    return mercator::toLocation(view_.toWorld(QPointF(x, y)));
}

Location MapModel::GetLocation(double latitude, double longitude, double) const {
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90.0 ||
        std::fabs(longitude) > 180.0)
        throw MapError(5, QStringLiteral("Invalid procedure call or argument"));
    return {latitude, longitude};
}

QPointF MapModel::locationToXY(const Location& location) const {
    return view_.toScreen(mercator::toWorld(location.Latitude, location.Longitude));
}

PushpinRef MapModel::AddPushpin(const Location& at, const QString& name) {
    if (!open_)
        throw MapError(91, QStringLiteral("No map is open"));
    auto pin = std::make_shared<Pushpin>();
    pin->map_ = this;
    pin->set_ = sets_.empty() ? nullptr : sets_.front().get();
    pin->name_ = name;
    pin->world_ = mercator::toWorld(at.Latitude, at.Longitude);
    pins_.push_back(pin);
    changed();
    return pin;
}

PushpinRef MapModel::FindPushpin(const QString& name) const {
    for (const PushpinRef& p : pins_)
        if (p->name_ == name)
            return p;
    return nullptr;
}

DataSetRef MapModel::DataSetItem(int number) const {
    if (number < 1 || number > DataSetCount())
        return nullptr;
    return sets_[static_cast<size_t>(number - 1)];
}

DataSetRef MapModel::AddPushpinSet(const QString& name) {
    if (!open_)
        throw MapError(91, QStringLiteral("No map is open"));
    auto set = std::make_shared<DataSet>();
    set->map_ = this;
    set->name_ = name;
    sets_.push_back(set);
    return set;
}

void MapModel::select(const PushpinRef& pin) {
    const PushpinRef before = selection();
    if (before == pin)
        return;
    selected_ = pin;
    changed();
    if (onSelectionChange)
        onSelectionChange(pin.get(), before.get());
}

void MapModel::clearSelection() {
    select(nullptr);
}

void MapModel::removePin(Pushpin* pin) {
    // Searched from the newest: bulk removals walk backwards, so the pin is usually near the end.
    const auto back = std::find_if(pins_.rbegin(), pins_.rend(), [&](const PushpinRef& p) { return p.get() == pin; });
    if (back == pins_.rend())
        return;
    const auto at = std::next(back).base();
    const PushpinRef keep = *at; // the pin outlives its removal from the list
    // A deleted pushpin stops being the selection without a notification: the map window still knows which
    // logger it was when the change of the map is reported.
    if (selection() == keep)
        selected_.reset();
    pins_.erase(at);
    changed();
}

void MapModel::deleteSet(DataSet* set) {
    const auto at = std::find_if(sets_.begin(), sets_.end(), [&](const DataSetRef& s) { return s.get() == set; });
    if (at == sets_.end())
        return;
    const DataSetRef keep = *at;
    sets_.erase(at);
    std::vector<PushpinRef> doomed;
    for (const PushpinRef& p : pins_)
        if (p->set_ == set)
            doomed.push_back(p);
    for (const PushpinRef& p : doomed)
        p->Delete();
    keep->map_ = nullptr;
    changed();
}

void MapModel::zoomToSet(DataSet* set) {
    double x0 = 2, y0 = 2, x1 = -1, y1 = -1;
    for (const PushpinRef& p : pins_) {
        if (p->set_ != set)
            continue;
        x0 = std::min(x0, p->world_.x());
        y0 = std::min(y0, p->world_.y());
        x1 = std::max(x1, p->world_.x());
        y1 = std::max(y1, p->world_.y());
    }
    if (x1 < x0)
        return;
    const QRectF box(QPointF(x0, y0), QPointF(x1, y1));
    view_.centre = box.center();
    const double w = std::max(box.width(), 1e-12);
    const double h = std::max(box.height(), 1e-12);
    // Fit with a margin of a tenth on each side; a lone pushpin gets a street-level view.
    const double fit = std::min(view_.size.width() * 0.8 / w, view_.size.height() * 0.8 / h);
    const double zoom = box.width() == 0 && box.height() == 0 ? 15.0 : std::log2(fit / 256.0);
    setZoom(std::min(zoom, 17.0));
}

void MapModel::dragTo(const PushpinRef& pin, const QPointF& world) {
    if (!pin || pin->deleted_)
        return;
    pin->world_ = {std::clamp(world.x(), 0.0, 1.0), std::clamp(world.y(), 0.0, 1.0)};
    pin->moved_ = true;
    Saved = false;
    changed();
}

void MapModel::changed() const {
    if (onRepaint)
        onRepaint();
}

int MapModel::symbolStyle(int symbol) const {
    if (symbol == leakSymbol_)
        return 2;
    if (symbol == quietSymbol_)
        return 1;
    return 0;
}

// --- hit test and drawing --------------------------------------------------------------------------------

namespace {
// The pushpin glyph: a round head above a needle whose point is the location.
constexpr int kPinW = 16;
constexpr int kPinH = 24;

const QPixmap& pinPixmap(int style, bool selected) {
    static QPixmap cache[3][2];
    QPixmap& pm = cache[style][selected ? 1 : 0];
    if (pm.isNull()) {
        static const QColor colours[3] = {QColor(120, 120, 120), QColor(30, 150, 60), QColor(215, 35, 35)};
        pm = QPixmap(kPinW, kPinH);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(40, 40, 40), 2));
        p.drawLine(QPointF(kPinW / 2.0, 12), QPointF(kPinW / 2.0, kPinH - 1));
        p.setPen(QPen(selected ? QColor(255, 200, 0) : QColor(20, 20, 20), selected ? 2.5 : 1));
        p.setBrush(colours[style]);
        p.drawEllipse(QPointF(kPinW / 2.0, 7.5), 6.5, 6.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 150));
        p.drawEllipse(QPointF(kPinW / 2.0 - 2, 5.5), 2, 2);
    }
    return pm;
}

QRectF pinRect(const QPointF& tip) {
    return QRectF(tip.x() - kPinW / 2.0, tip.y() - kPinH, kPinW, kPinH + 2);
}
} // namespace

QRectF BalloonBox(const QPointF& tip, const QSizeF& size, const QRectF& area) {
    // Clear of the head by a few pixels on the side it goes to.
    QRectF box(QPointF(tip.x() + 9, tip.y() - kPinH - size.height() + 4), size);
    if (box.right() > area.right() && tip.x() - 9 - size.width() >= area.left())
        box.moveRight(tip.x() - 9);
    if (box.top() < area.top())
        box.moveTop(tip.y() + 4);
    box.moveLeft(std::max(area.left(), std::min(box.left(), area.right() - box.width())));
    box.moveTop(std::max(area.top(), std::min(box.top(), area.bottom() - box.height())));
    return box;
}

PushpinRef MapModel::pushpinAt(const QPointF& screen) const {
    for (auto it = pins_.rbegin(); it != pins_.rend(); ++it)
        if (pinRect(view_.toScreen((*it)->world_)).contains(screen))
            return *it;
    return nullptr;
}

void MapModel::render(QPainter& painter, const BaseMap* base) const {
    const QRectF area(QPointF(0, 0), QSizeF(view_.size));
    painter.save();
    painter.setClipRect(area);
    if (base)
        base->draw(painter, view_);
    else
        painter.fillRect(area, QColor(236, 240, 232));

    const PushpinRef chosen = selection();
    const QRectF visible = area.adjusted(-kPinW, -4, kPinW, kPinH + 4);
    std::vector<const Pushpin*> withBalloons;
    for (const PushpinRef& p : pins_) {
        const QPointF tip = view_.toScreen(p->world_);
        if (!visible.contains(tip))
            continue;
        painter.drawPixmap(QPointF(tip.x() - kPinW / 2.0, tip.y() - kPinH + 1),
                           pinPixmap(symbolStyle(p->symbol_), p == chosen));
        if (p->balloon_ > 0)
            withBalloons.push_back(p.get());
    }
    if (chosen && chosen->balloon_ == 0 && visible.contains(view_.toScreen(chosen->world_)))
        withBalloons.push_back(chosen.get()); // the selected pushpin always tells its name

    QFont nameFont = painter.font();
    nameFont.setPointSizeF(8.5);
    nameFont.setBold(true);
    QFont noteFont = nameFont;
    noteFont.setBold(false);
    const QFontMetricsF nameMetrics(nameFont, painter.device());
    const QFontMetricsF noteMetrics(noteFont, painter.device());
    painter.setRenderHint(QPainter::Antialiasing);
    for (const Pushpin* p : withBalloons) {
        const QPointF tip = view_.toScreen(p->world_);
        QStringList lines;
        if (p->balloon_ == 2 && !p->note_.isEmpty())
            lines = p->note_.split(QStringLiteral("\r\n"));
        double width = nameMetrics.horizontalAdvance(p->name_);
        for (const QString& l : lines)
            width = std::max(width, noteMetrics.horizontalAdvance(l));
        const double height = nameMetrics.height() + lines.size() * noteMetrics.height();
        // Within the map: a balloon cut off by the map's edge would hide the logger's name.
        const QRectF box = BalloonBox(tip, QSizeF(width + 10, height + 6), area);
        // The pointer runs from the balloon's edge nearest the head to the head.
        const QPointF head(tip.x() + 2, tip.y() - kPinH + 8);
        const double edge = box.bottom() <= head.y() ? box.bottom() : box.top();
        const double from = box.left() >= tip.x() ? box.left() + 4 : std::max(box.left() + 4, box.right() - 12);
        QPainterPath path;
        path.addRoundedRect(box, 4, 4);
        path.moveTo(from, edge);
        path.lineTo(head);
        path.lineTo(from + 8, edge);
        painter.setPen(QPen(QColor(60, 60, 60), 1));
        painter.setBrush(QColor(255, 255, 240, 235));
        painter.drawPath(path.simplified());
        painter.setPen(Qt::black);
        painter.setFont(nameFont);
        double y = box.top() + 3 + nameMetrics.ascent();
        painter.drawText(QPointF(box.left() + 5, y), p->name_);
        painter.setFont(noteFont);
        y += nameMetrics.descent();
        for (const QString& l : lines) {
            y += noteMetrics.ascent();
            painter.drawText(QPointF(box.left() + 5, y), l);
            y += noteMetrics.descent();
        }
    }
    painter.restore();
}

} // namespace mapview
