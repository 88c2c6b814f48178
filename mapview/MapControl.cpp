#include "mapview/MapControl.h"

#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStandardPaths>
#include <QWheelEvent>

#include <cmath>

namespace mapview {

MapConfig MapConfig::load() {
    auto get = [](const char* key, const QString& def) {
        return plat::settings::get(plat::appTitle(), QStringLiteral("MapControl"), QLatin1String(key), def);
    };
    MapConfig c;
    c.installed = get("Installed", QStringLiteral("1")).trimmed() != QLatin1String("0");
    c.automation = get("Automation", QStringLiteral("1")).trimmed() != QLatin1String("0");
    c.version = get("Version", c.version);
    bool ok = false;
    const long region = get("Region", QStringLiteral("2")).trimmed().toLong(&ok);
    c.region = ok ? region : -1;
    c.tileSource = get("TileSource", QString());
    c.baseMap = get("BaseMap", QString());
    return c;
}

MapControl* MapControl::create(const MapConfig& config, QWidget* parent) {
    return config.installed ? new MapControl(config, parent) : nullptr;
}

MapControl::MapControl(const MapConfig& config, QWidget* parent) : QWidget(parent), config_(config) {
    setObjectName(QStringLiteral("m_MapPointControl"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setMinimumSize(200, 150);
    setAttribute(Qt::WA_OpaquePaintEvent);
    model_.onRepaint = [this] { update(); };
    model_.onSelectionChange = [this](Pushpin* now, Pushpin* before) { emit SelectionChange(now, before); };
    base_.onTileArrived = [this] { update(); };
    const int code = MapVersionCode(config_.version);
    const int region = MapRegionFromProduct(config_.region);
    if (code >= 0 && region >= 0)
        model_.setSymbolSet(code, region);
}

MapControl::~MapControl() {
    model_.onRepaint = nullptr;
    model_.onSelectionChange = nullptr;
}

void MapControl::OpenMap(const QString& path) {
    model_.OpenMap(path);
    model_.setViewSize(size());
    const QString shapes = config_.baseMap.isEmpty() ? BaseMap::findSystemCoastlines() : config_.baseMap;
    if (!base_.hasShapes() && !shapes.isEmpty())
        base_.loadShapes(shapes);
    if (!config_.tileSource.isEmpty()) {
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        base_.setTileSource(config_.tileSource, cache.isEmpty() ? QString() : cache + QStringLiteral("/map-tiles"));
    }
    update();
}

void MapControl::CloseMap() {
    dragged_.reset();
    model_.CloseMap();
}

void MapControl::PrintPage(QPainter& painter, const QRectF& page, const QString& title) const {
    painter.save();
    painter.translate(page.topLeft());
    // Measured on the painter's device: a printer draws in its own dots, many more than the screen's pixels.
    QFont font = painter.font();
    font.setPointSize(12);
    font.setBold(true);
    painter.setFont(font);
    const QFontMetricsF fm(font, painter.device());
    painter.setPen(Qt::black);
    painter.drawText(QPointF(0, fm.ascent()), title);
    const double top = fm.height() * 1.5;
    const QSizeF viewSize(model_.view().size);
    if (!viewSize.isEmpty() && page.height() > top) {
        const double fit = std::min(page.width() / viewSize.width(), (page.height() - top) / viewSize.height());
        painter.save();
        painter.translate(0, top);
        painter.scale(fit, fit);
        painter.setClipRect(QRectF(QPointF(0, 0), viewSize));
        model_.render(painter, &base_);
        painter.restore();
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(0, top, viewSize.width() * fit, viewSize.height() * fit));
    }
    painter.restore();
}

QImage MapControl::renderImage() const {
    QImage image(model_.view().size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    model_.render(painter, &base_);
    return image;
}

void MapControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!model_.isOpen()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    model_.render(painter, &base_);
}

void MapControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    model_.setViewSize(size());
}

int MapControl::shiftState(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

int MapControl::buttonCode(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

void MapControl::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    bool cancel = false;
    emit PointerPressed(buttonCode(event->button()), shiftState(event->modifiers()), at.x(), at.y(), cancel);
    if (cancel || !model_.isOpen())
        return;
    pressAt_ = at;
    pressCentre_ = model_.view().centre;
    pressButton_ = event->button();
    moving_ = false;
    dragged_.reset();
    const PushpinRef hit = model_.pushpinAt(at);
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        if (hit)
            model_.select(hit);
        else
            model_.clearSelection();
    }
    if (event->button() == Qt::LeftButton && hit && !(event->modifiers() & Qt::ShiftModifier)) {
        dragged_ = hit;
        // The pin is taken by its head, well above the point its needle marks: it moves with the cursor by
        // the same offset, so it lands where the user sees its tip, not where the cursor is.
        grabOffset_ = model_.view().toScreen(hit->world()) - QPointF(at);
    }
}

void MapControl::mouseMoveEvent(QMouseEvent* event) {
    if (pressButton_ != Qt::LeftButton || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint at = event->position().toPoint();
    if (!moving_ && (at - pressAt_).manhattanLength() < 4)
        return;
    moving_ = true;
    if (dragged_) {
        model_.dragTo(dragged_, model_.view().toWorld(QPointF(at) + grabOffset_));
    } else {
        const double s = model_.view().scale();
        model_.setCentre(pressCentre_ - QPointF(at - pressAt_) / s);
    }
}

void MapControl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != pressButton_)
        return;
    const QPoint at = event->position().toPoint();
    const bool wasMoving = moving_;
    const PushpinRef dragged = dragged_;
    pressButton_ = Qt::NoButton;
    moving_ = false;
    dragged_.reset();
    if (wasMoving) {
        if (dragged)
            emit MapChange();
        return;
    }
    emit MouseButton(buttonCode(event->button()), shiftState(event->modifiers()), at.x(), at.y());
}

void MapControl::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    bool cancel = false;
    emit PointerDoubleClicked(buttonCode(event->button()), shiftState(event->modifiers()), at.x(), at.y(), cancel);
}

void MapControl::wheelEvent(QWheelEvent* event) {
    if (!model_.isOpen())
        return;
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0)
        model_.zoomAbout(event->position(), steps * 0.5);
    event->accept();
}

void MapControl::keyPressEvent(QKeyEvent* event) {
    if (!model_.isOpen()) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Delete:
        if (const PushpinRef pin = model_.selection()) {
            pin->Delete();
            model_.Saved = false;
            emit MapChange();
        }
        break;
    case Qt::Key_Up:
        model_.Pan(8, 0);
        break;
    case Qt::Key_Down:
        model_.Pan(2, 0);
        break;
    case Qt::Key_Left:
        model_.Pan(4, 0);
        break;
    case Qt::Key_Right:
        model_.Pan(6, 0);
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        model_.ZoomIn();
        break;
    case Qt::Key_Minus:
        model_.ZoomOut();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

} // namespace mapview
