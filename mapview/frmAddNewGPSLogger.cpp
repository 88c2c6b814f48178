#include "mapview/frmAddNewGPSLogger.h"

#include "core/Shared.h"
#include "documents/MaskedEdit.h"
#include "lang/LangText.h"
#include "mapview/frmGps.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace mapview {

namespace {
QPointer<frmAddNewGPSLogger>& theDialog() {
    static QPointer<frmAddNewGPSLogger> dialog;
    return dialog;
}
} // namespace

frmAddNewGPSLogger* frmAddNewGPSLogger::instance(frmGps* map) {
    if (!theDialog())
        theDialog() = new frmAddNewGPSLogger(map);
    return theDialog();
}

frmAddNewGPSLogger* frmAddNewGPSLogger::existing() {
    return theDialog();
}

frmAddNewGPSLogger::frmAddNewGPSLogger(frmGps* map)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint), map_(map) {
    setObjectName(QStringLiteral("frmAddNewGPSLogger"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("New Logger"));
    lblEnterSerial = new QLabel(QStringLiteral("Please Enter Serial Number for Logger"), this);
    lblEnterSerial->setWordWrap(true);
    mskSerial = new MaskedEdit(this);
    mskSerial->setObjectName(QStringLiteral("mskSerial"));
    mskSerial->setMask(QStringLiteral("########"));
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblEnterSerial);
    layout->addWidget(mskSerial);
    layout->addLayout(buttons);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    Form_Load();
}

void frmAddNewGPSLogger::Form_Load() {
    lblEnterSerial->setText(LoadLangString(txt::EnterTheSerialNumberOf));
}

void frmAddNewGPSLogger::frmAddnewGPSLogger_Setxy(int X, int Y) {
    x_ = X;
    y_ = Y;
}

void frmAddNewGPSLogger::cmdOK_Click() {
    strSerial = mskSerial->Text();
    const QPointer<frmAddNewGPSLogger> self(this);
    if (map_)
        map_->frmGPS_NewLogger(x_, y_, strSerial);
    if (self)
        close();
}

void frmAddNewGPSLogger::cmdCancel_Click() {
    strSerial.clear();
    close();
}

} // namespace mapview
