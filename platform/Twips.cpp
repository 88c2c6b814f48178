#include "platform/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace plat::twips {
namespace {
double dpiX() {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (QScreen* s = app->primaryScreen())
            return s->logicalDotsPerInchX();
    return 96.0;
}
double dpiY() {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (QScreen* s = app->primaryScreen())
            return s->logicalDotsPerInchY();
    return 96.0;
}
QSize screenPixels() {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        if (QScreen* s = app->primaryScreen())
            return s->geometry().size();
    return QSize(1024, 768);
}
} // namespace

double perPixelX() {
    return 1440.0 / dpiX();
}
double perPixelY() {
    return 1440.0 / dpiY();
}
double fromPixelsX(int px) {
    return px * perPixelX();
}
double fromPixelsY(int px) {
    return px * perPixelY();
}
int toPixelsX(double twips) {
    return static_cast<int>(std::lround(twips / perPixelX()));
}
int toPixelsY(double twips) {
    return static_cast<int>(std::lround(twips / perPixelY()));
}
double screenWidth() {
    return fromPixelsX(screenPixels().width());
}
double screenHeight() {
    return fromPixelsY(screenPixels().height());
}
} // namespace plat::twips

void CentreForm(QWidget* form) {
    const double w = plat::twips::fromPixelsX(form->frameGeometry().width());
    const double h = plat::twips::fromPixelsY(form->frameGeometry().height());
    const double left = (plat::twips::screenWidth() - w) / 2;
    const double top = (plat::twips::screenHeight() - h) / 2;
    form->move(plat::twips::toPixelsX(left), plat::twips::toPixelsY(top));
}
