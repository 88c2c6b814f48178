#include "commserver/app/AboutDialogs.h"

#include <QFont>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/DialogHelpers.h"
#include "platform/AppInfo.h"

using namespace quendar;

// ---------------------------------------------------------------------------------------------------------
// About and banner

CAboutDlg::CAboutDlg(CCommsServerApp& app)
    : CServerWindow(app, QStringLiteral("About QUARN Communications: "), QStringLiteral("About")) {
    auto* top = new QVBoxLayout(this);
    lblProduct = new QLabel(QStringLiteral("QUARN Communications Server"), this);
    QFont f = lblProduct->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 2);
    lblProduct->setFont(f);
    lblVersion = new QLabel(QStringLiteral("Version %1.%2.%3")
                                .arg(plat::versionMajor())
                                .arg(plat::versionMinor())
                                .arg(plat::versionRevision()),
                            this);
    top->addWidget(lblProduct);
    top->addWidget(lblVersion);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &CServerWindow::CloseWindow);
    top->addWidget(ok, 0, Qt::AlignRight);
}

namespace {
class BannerPicture : public QWidget {
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {360, 140}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QLinearGradient g(0, 0, width(), height());
        g.setColorAt(0, QColor(30, 50, 100));
        g.setColorAt(1, QColor(70, 120, 190));
        p.fillRect(rect(), g);
        p.setPen(Qt::white);
        QFont f = font();
        f.setPixelSize(26);
        f.setBold(true);
        p.setFont(f);
        p.drawText(rect().adjusted(0, 0, 0, -30), Qt::AlignCenter, QStringLiteral("QUARN"));
        f.setPixelSize(14);
        f.setBold(false);
        p.setFont(f);
        p.drawText(rect().adjusted(0, 40, 0, 0), Qt::AlignCenter, QStringLiteral("Communications Server"));
    }
};
} // namespace

CBannerDlg::CBannerDlg(QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(new BannerPicture(this));
    QTimer::singleShot(1500, this, &QDialog::accept);
}
