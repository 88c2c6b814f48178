#include "core/frmSplash.h"

#include "core/Settings.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"
#include "platform/Twips.h"
#include "platform/UiServices.h"
#include "platform/VbRuntime.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace {
// The six distributors that ship their own copyright line and logo, then the maker's own row.
const std::array<frmSplash::DistributorRow, 7> kRows = {{
    {"Aquanet", "Copyright (c) Aquanet Leak Services Ltd. All rights reserved.", "AQ", 0x1f6fb2, false},
    {"Hydrosonic", "Copyright (c) Hydrosonic Instruments GmbH. Alle Rechte vorbehalten.", "HS", 0x2e8b57, false},
    {"Pipewise", "Copyright (c) Pipewise Network Solutions. All rights reserved.", "PW", 0x8b3a62, true},
    {"Nordflow", "Copyright (c) Nordflow Vannteknikk AS. All rights reserved.", "NF", 0x35526e, false},
    {"Aguastar", "Copyright (c) Aguastar Servicios Hidraulicos S.L. Todos los derechos reservados.", "AS", 0xc0612b,
     false},
    {"Leakline", "Copyright (c) Leakline Water Technologies Pty. All rights reserved.", "LL", 0x6b5b95, false},
    {nullptr, "Copyright (c) Brenholt Acoustic Systems. All rights reserved.", "B", 0x0b4f8a, false},
}};

QPixmap paintLogo(const frmSplash::DistributorRow& row) {
    QPixmap pm(96, 96);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour{static_cast<QRgb>(row.logoColour)};
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(4, 4, 88, 88), 16, 16);
    // A water drop with two sound rings: the product's sign.
    QPainterPath drop;
    drop.moveTo(48, 14);
    drop.cubicTo(66, 38, 72, 50, 72, 60);
    drop.arcTo(QRectF(24, 36, 48, 48), 0, -180);
    drop.cubicTo(24, 50, 30, 38, 48, 14);
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawPath(drop);
    p.setPen(QPen(colour, 3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(38, 52, 20, 20), 30 * 16, 120 * 16);
    p.drawArc(QRectF(32, 46, 32, 32), 40 * 16, 100 * 16);
    p.setPen(colour.darker(150));
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(14);
    p.setFont(f);
    p.drawText(QRectF(24, 62, 48, 20), Qt::AlignCenter, QString::fromLatin1(row.logoText));
    return pm;
}
} // namespace

const frmSplash::DistributorRow& frmSplash::rowFor(const QString& distributor) {
    for (const auto& row : kRows)
        if (row.distributor && distributor == QLatin1String(row.distributor))
            return row;
    return kRows.back();
}

frmSplash::frmSplash(QWidget* parent) : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("frmSplash"));
    setModal(true);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    fraMainFrame = new QFrame(this);
    fraMainFrame->setObjectName(QStringLiteral("fraMainFrame"));
    fraMainFrame->setFrameShape(QFrame::Box);
    fraMainFrame->setStyleSheet(QStringLiteral("#fraMainFrame { background: white; border: 2px solid #0b4f8a; }"));
    outer->addWidget(fraMainFrame);

    auto* row = new QHBoxLayout(fraMainFrame);
    row->setContentsMargins(24, 24, 24, 24);
    row->setSpacing(24);
    picLogo = new QLabel(fraMainFrame);
    picLogo->setObjectName(QStringLiteral("picLogo"));
    picLogo->setFixedSize(96, 96);
    picLogo->setAlignment(Qt::AlignTop);
    auto* logoColumn = new QVBoxLayout;
    logoColumn->addWidget(picLogo);
    logoColumn->addStretch();
    row->addLayout(logoColumn);

    auto* text = new QVBoxLayout;
    lblProductName = new QLabel(fraMainFrame);
    lblProductName->setObjectName(QStringLiteral("lblProductName"));
    QFont big = lblProductName->font();
    big.setPointSize(big.pointSize() * 2 + 4);
    big.setBold(true);
    lblProductName->setFont(big);
    lblProductName->setStyleSheet(QStringLiteral("color: #0b4f8a;"));
    lblDescription = new QLabel(fraMainFrame);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblVersion = new QLabel(fraMainFrame);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblCopyright = new QLabel(fraMainFrame);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));
    lblCopyright->setWordWrap(true);
    QFont small = lblCopyright->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    lblCopyright->setFont(small);
    text->addWidget(lblProductName);
    text->addWidget(lblDescription);
    text->addSpacing(12);
    text->addWidget(lblVersion);
    text->addStretch();
    text->addWidget(lblCopyright);
    row->addLayout(text, 1);
    setFixedSize(520, 240);

    for (QWidget* w : {static_cast<QWidget*>(fraMainFrame), static_cast<QWidget*>(picLogo),
                       static_cast<QWidget*>(lblProductName), static_cast<QWidget*>(lblDescription),
                       static_cast<QWidget*>(lblVersion), static_cast<QWidget*>(lblCopyright)})
        w->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);
}

void frmSplash::Form_Load() {
    if (loaded_)
        return;
    loaded_ = true;
    lblProductName->setText(plat::appTitle());
    lblDescription->setText(DescriptionText);
    const DistributorRow& row = rowFor(GetSettingText(QStringLiteral("Distributor"), QStringLiteral("Brenholt")));
    lblCopyright->setText(QString::fromUtf8(row.copyright));
    if (row.logoLower)
        picLogo->setContentsMargins(0, plat::twips::toPixelsY(960) - 24, 0, 0);
    picLogo->setPixmap(paintLogo(row));
    lblVersion->setText(
        QStringLiteral("v%1.%2.%3").arg(plat::versionMajor()).arg(plat::versionMinor()).arg(plat::versionRevision()));
    CentreForm(this);
    RemainingDelay = SplashDelay;
    Timer1->start();
}

void frmSplash::showModal() {
    Form_Load();
    plat::ui().execDialog(this);
    Timer1->stop();
}

void frmSplash::Timer1_Timer() {
    // Counted in a wider type: a delay near the 16-bit minimum must close, not wrap round to a long wait.
    const int remaining = RemainingDelay - Timer1->interval();
    RemainingDelay = static_cast<int16_t>(std::max(remaining, -32768));
    if (remaining <= 0) {
        Timer1->stop();
        done(QDialog::Accepted);
        hide();
    }
}

void frmSplash::CloseSplashNow() {
    RemainingDelay = 0;
    Timer1_Timer();
}

bool frmSplash::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress) {
        CloseSplashNow();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmSplash::keyPressEvent(QKeyEvent*) {
    CloseSplashNow();
}
void frmSplash::mousePressEvent(QMouseEvent*) {
    CloseSplashNow();
}
