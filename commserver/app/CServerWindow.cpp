#include "commserver/app/CServerWindow.h"

#include "commserver/app/CCommsServerApp.h"

CServerWindow::CServerWindow(CCommsServerApp& app, const QString& captionStart, const QString& section)
    : QDialog(nullptr), app_(app), captionStart_(captionStart), section_(section) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    RefreshCaption();
}

void CServerWindow::RefreshCaption() { setWindowTitle(captionStart_ + QString::fromStdString(app_.PortName())); }

void CServerWindow::showEvent(QShowEvent* event) {
    if (!placed_ && !section_.isEmpty()) {
        placed_ = true;
        const std::string s = section_.toStdString();
        move(app_.profile.GetInt(s, "x", 0), app_.profile.GetInt(s, "y", 0));
    }
    QDialog::showEvent(event);
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
