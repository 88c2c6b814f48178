#pragma once
// Drives the map control as a user would, at latitudes and longitudes: clicks, shift-clicks, right clicks,
// drags of pushpins and the Delete key, through real mouse and key events.
#include "mapview/MapControl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

class MapTestDriver {
public:
    explicit MapTestDriver(mapview::MapControl* control) : control_(control) {}

    QPoint at(double latitude, double longitude) const {
        return control_->ActiveMap().locationToXY({latitude, longitude}).toPoint();
    }
    // A pushpin's head lies just above its location.
    QPoint pinHead(double latitude, double longitude) const { return at(latitude, longitude) - QPoint(0, 12); }

    void click(const QPoint& p, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {}) {
        send(QEvent::MouseButtonPress, p, button, button, mods);
        send(QEvent::MouseButtonRelease, p, button, Qt::NoButton, mods);
    }
    void drag(const QPoint& from, const QPoint& to) {
        send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, {});
        const QPoint mid = (from + to) / 2;
        send(QEvent::MouseMove, mid, Qt::NoButton, Qt::LeftButton, {});
        send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, {});
        send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, {});
    }
    void doubleClick(const QPoint& p) {
        click(p);
        send(QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton, {});
        send(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton, {});
    }
    void key(int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(control_, &press);
    }

private:
    void send(QEvent::Type type, const QPoint& p, Qt::MouseButton button, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers mods) {
        QMouseEvent e(type, QPointF(p), control_->mapToGlobal(QPointF(p)), button, buttons, mods);
        QApplication::sendEvent(control_, &e);
    }
    mapview::MapControl* control_;
};
