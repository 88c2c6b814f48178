#include "frmOptions.h"

#include "ProgramWindows.h"
#include "Settings.h"
#include "Shared.h"
#include "frmCatalogue.h"
#include "lang/LangText.h"
#include "platform/SerialPort.h"
#include "platform/VbRuntime.h"
#include "platform/WindowRegistry.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <cmath>

namespace {
constexpr int32_t kMaxIncrement = 9999999;

// The coordinate systems in the order of their Address2 codes.
const char* const kAddress2Entries[] = {
    "Address2",
    "Lat/Long (Hdd.ddddd-Hddd.ddddd)",
    "BNG (XX-nnnnn-nnnnn)",
    "RD (nnnnnn-nnnnnn)",
    "KKJ (nnnnnnn-nnnnnnn)",
    "GK (nnnnnnn-nnnnnnn)",
    "ITM (IX-nnnnn-nnnnn)",
    "MGRS (Xnn-XX-nnnnn-nnnnn)",
    "NZ (Ennnnnnn-Nnnnnnnn)",
    "SG (Onnnnnnn-Nnnnnnnn)",
    "SUI (nnnnnn-nnnnnn)",
    "T67 (nnnnnn-nnnnnn)",
    "UTM (nn-X-nnnnnnn-nnnnnnn)",
    "QNG (nnnnnn-nnnnnn)",
};
} // namespace

frmOptions::frmOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    TxtSerialIncr = new QLineEdit(this);
    LblSerialIncr = new QLabel(this);
    ChkEnableHistoryEdit = new QCheckBox(this);
    ChkLoadBadRecs = new QCheckBox(this);
    CheckForce = new QCheckBox(this);
    Frame1 = new QGroupBox(this);
    TxtDefaultPath = new QLineEdit(Frame1);
    Drive1 = new QComboBox(Frame1);
    Dir1 = new QListWidget(Frame1);
    cboAddress2 = new QComboBox(this);
    lblAddress2 = new QLabel(QStringLiteral("Address2/Grid Ref"), this);
    FrameComPort = new QGroupBox(this);
    fraConnectionType = new QGroupBox(this);
    labNumberToDial = new QLabel(fraConnectionType);
    mskEdNumberToDial = new QLineEdit(fraConnectionType);
    cmdOK = new QPushButton(this);
    cmdCancel = new QPushButton(this);

    // The number to dial holds digits only: anything else would reach the field unit's dial string.
    mskEdNumberToDial->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,15}")), mskEdNumberToDial));
    mskEdNumberToDial->setMaxLength(15);
    for (const char* entry : kAddress2Entries)
        cboAddress2->addItem(QString::fromLatin1(entry));

    auto* comLayout = new QHBoxLayout(FrameComPort);
    for (int i = 0; i < 4; ++i) {
        OptionComPort[static_cast<size_t>(i)] = new QRadioButton(QStringLiteral("Com%1").arg(i + 1), FrameComPort);
        comLayout->addWidget(OptionComPort[static_cast<size_t>(i)]);
        connect(OptionComPort[static_cast<size_t>(i)], &QRadioButton::clicked, this,
                [this, i] { OptionComPort_Click(i); });
    }
    optConnectionType[0] = new QRadioButton(QStringLiteral("Direct Cable Connection"), fraConnectionType);
    optConnectionType[1] = new QRadioButton(QStringLiteral("Modem Connection"), fraConnectionType);
    auto* connectionLayout = new QGridLayout(fraConnectionType);
    connectionLayout->addWidget(optConnectionType[0], 0, 0, 1, 2);
    connectionLayout->addWidget(optConnectionType[1], 1, 0, 1, 2);
    connectionLayout->addWidget(labNumberToDial, 2, 0);
    connectionLayout->addWidget(mskEdNumberToDial, 2, 1);
    for (int i = 0; i < 2; ++i)
        connect(optConnectionType[static_cast<size_t>(i)], &QRadioButton::clicked, this,
                [this, i] { optConnectionType_Click(i); });

    auto* pathLayout = new QVBoxLayout(Frame1);
    pathLayout->addWidget(CheckForce);
    pathLayout->addWidget(TxtDefaultPath);
    pathLayout->addWidget(Drive1);
    pathLayout->addWidget(Dir1);

    auto* form = new QFormLayout;
    form->addRow(LblSerialIncr, TxtSerialIncr);
    form->addRow(lblAddress2, cboAddress2);
    form->addRow(ChkEnableHistoryEdit);
    form->addRow(ChkLoadBadRecs);

    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addWidget(FrameComPort);
    lblSerialDevices = new QLabel(this);
    lblSerialDevices->setObjectName(QStringLiteral("lblSerialDevices"));
    lblSerialDevices->setWordWrap(true);
    left->addWidget(lblSerialDevices);
    left->addWidget(fraConnectionType);
    left->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addWidget(Frame1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(columns, 1);
    outer->addLayout(buttons);
    cmdOK->setDefault(true);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(Drive1, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });
    connect(Dir1, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { Dir1_Change(FolderOfEntry(folder_, item)); });

    plat::windows::add(this, QStringLiteral("frmOptions"));
    Form_Load();
}

frmOptions::~frmOptions() {
    plat::windows::remove(this);
}

void frmOptions::LoadResources() {
    setWindowTitle(LoadLangString(txt::Options));
    CheckForce->setText(LoadLangString(txt::AlwaysStartTheFileDialogs));
    ChkEnableHistoryEdit->setText(LoadLangString(txt::AllowTheReadingHistoryTo));
    ChkLoadBadRecs->setText(LoadLangString(txt::OpenFilesThatHoldBad));
    OptionComPort[3]->setText(LoadLangString(txt::Com4));
    OptionComPort[2]->setText(LoadLangString(txt::Com3));
    OptionComPort[1]->setText(LoadLangString(txt::Com2));
    OptionComPort[0]->setText(LoadLangString(txt::Com1));
    // Each port shows the device it stands for on this computer, and the devices there are, as they are now.
    for (int i = 0; i < 4; ++i)
        OptionComPort[static_cast<size_t>(i)]->setText(OptionComPort[static_cast<size_t>(i)]->text() +
                                                       QStringLiteral(" - ") +
                                                       QString::fromStdString(plat::SerialDevicePath(i)));
    lblSerialDevices->setText(QString::fromStdString(plat::SerialDevicesText()));
    cmdCancel->setText(LoadLangString(txt::Cancel));
    LblSerialIncr->setText(LoadLangString(txt::SerialNumberIncrementForFill));
    cmdOK->setText(LoadLangString(txt::Ok));
    fraConnectionType->setTitle(LoadLangString(txt::ConnectionType));
    optConnectionType[0]->setText(LoadLangString(txt::DirectCableConnection));
    optConnectionType[1]->setText(LoadLangString(txt::ModemConnection));
    labNumberToDial->setText(LoadLangString(txt::NumberToDial));
}

void frmOptions::Form_Load() {
    LoadResources();
    TxtSerialIncr->setText(QString::number(FillIncrement));
    // Only ports 1 to 4 have a button; any other stored port starts over at 1.
    if (ComPort < 1 || ComPort > 4)
        ComPort = 1;
    OptionComPort[static_cast<size_t>(ComPort - 1)]->setChecked(true);
    OptionComPort_Click(ComPort - 1);
    const int connection = UseModem ? 1 : 0;
    optConnectionType[static_cast<size_t>(connection)]->setChecked(true);
    optConnectionType_Click(connection);
    mskEdNumberToDial->setText(NumberToDial);
    ChkEnableHistoryEdit->setChecked(EnHistEdit);
    ChkLoadBadRecs->setChecked(IgnoreFileErrs);
    TxtDefaultPath->setText(ForcePath);
    CheckForce->setChecked(ForceNewPath);

    // A code that is no whole number from 0 to 13 selects nothing.
    bool ok = false;
    const int code = Address2.trimmed().toInt(&ok);
    cboAddress2->setCurrentIndex(ok && code >= 0 && code < cboAddress2->count() ? code : -1);

    // A forced folder that has gone since shows its nearest existing parent.
    Dir1_Change(ExistingFolder(ForcePath.isEmpty() ? QDir::homePath() : ForcePath));
}

void frmOptions::OptionComPort_Click(int index) {
    ComPort = static_cast<int16_t>(index + 1);
    FrameComPort->setTitle(LoadLangString(txt::FieldUnitPortCom) + QString::number(ComPort));
}

void frmOptions::optConnectionType_Click(int index) {
    UseModem = index == 1;
}

void frmOptions::Drive1_Change() {
    const QString root = Drive1->currentText();
    if (root.isEmpty() || !QFileInfo(root).isDir()) {
        FillDriveList(Drive1, folder_);
        return;
    }
    Dir1_Change(root);
}

void frmOptions::Dir1_Change(const QString& folder) {
    folder_ = folder;
    FillFolderList(Dir1, folder_);
    FillDriveList(Drive1, folder_);
    TxtDefaultPath->setText(folder_);
}

void frmOptions::cmdOK_Click() {
    int32_t increment = 0;
    if (!plat::vb::toInt32(plat::vb::Val(TxtSerialIncr->text()), &increment) || increment < 1 ||
        increment > kMaxIncrement) {
        ShowMessage(LoadLangString(txt::IncrementRange));
        return;
    }
    FillIncrement = increment;
    EnHistEdit = ChkEnableHistoryEdit->isChecked();
    IgnoreFileErrs = ChkLoadBadRecs->isChecked();
    if (CheckForce->isChecked()) {
        ForceNewPath = true;
        ForcePath = TxtDefaultPath->text();
        SaveSettingText(QStringLiteral("ForcePath"), ForcePath);
    } else {
        ForceNewPath = false;
    }
    SaveSettingBool(QStringLiteral("ForceNewPath"), ForceNewPath);
    NumberToDial = mskEdNumberToDial->text();
    Address2 = QString::number(cboAddress2->currentIndex());

    // Stored before the windows are told: they read the coordinate system from the settings.
    SaveSettingText(QStringLiteral("Address2"), Address2);
    programWindows().ConfigureAddress2EditBox();
    programWindows().UpdateCommentsColumnHeader();
    accept();
}

void frmOptions::cmdCancel_Click() {
    reject();
}
