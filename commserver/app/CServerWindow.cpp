#include "commserver/app/CServerWindow.h"

#include "commserver/app/CCommsServerApp.h"
#include "platform/QtUi.h"

#include <QGuiApplication>
#include <QScreen>

CServerWindow::CServerWindow(CCommsServerApp& app, const QString& captionStart, const QString& section)
    : QDialog(nullptr), app_(app), captionStart_(captionStart), section_(section) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    RefreshCaption();
}

void CServerWindow::RefreshCaption() {
    setWindowTitle(captionStart_ + QString::fromStdString(app_.PortName()));
    plat::fitCaption(this);
}

void CServerWindow::showEvent(QShowEvent* event) {
    if (!placed_) {
        placed_ = true;
        const std::string s = section_.toStdString();
        if (!section_.isEmpty() && app_.profile.HasKey(s, "x") && app_.profile.HasKey(s, "y"))
            move(app_.profile.GetInt(s, "x", 0), app_.profile.GetInt(s, "y", 0));
        else
            move(CascadePosition());
    }
    QDialog::showEvent(event);
}

QPoint CServerWindow::CascadePosition() {
    // A window with no place of its own yet opens a step down and right of the one before, so windows opened
    // one after another stay apart instead of piling up in a corner.
    static int next = 0;
    const int step = next++ % 8;
    QPoint origin(0, 0);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        origin = screen->availableGeometry().topLeft();
    return origin + QPoint(60 + 32 * step, 60 + 32 * step);
}

void CServerWindow::done(int result) {
    if (!finished_ && !section_.isEmpty()) {
        const std::string s = section_.toStdString();
        app_.profile.WriteInt(s, "x", pos().x());
        app_.profile.WriteInt(s, "y", pos().y());
    }
    finished_ = true;
    QDialog::done(result);
    deleteLater();
}
