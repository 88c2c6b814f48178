#include "directlink/frmSarnicRead.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "directlink/frmEnterPassword.h"
#include "lang/LangText.h"
#include "platform/QtUi.h"
#include "platform/UiServices.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>
#include <thread>

using namespace directlink;

namespace directlink {

bool UpdateNeedsPassword(const QString& distributor, int index) {
    if (distributor == QLatin1String(kWideLockDistributor))
        return index < 4;
    return index == 0;
}

bool IsSendableSerial(const QString& text) {
    if (text.size() != 8)
        return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    const int first = text.left(2).toInt();
    return first >= 1 && first <= 12;
}

QString FormatBattery(float volts) {
    if (!std::isfinite(volts))
        return QStringLiteral("--");
    return QLocale().toString(double(volts), 'f', 2);
}

QString FormatFirmware(std::int16_t major, std::int16_t minor) {
    return QLocale().toString(major + minor / 100.0, 'f', 2);
}

} // namespace directlink

namespace {
QDateTimeEdit* makePicker(QWidget* parent, const char* name) {
    auto* e = new QDateTimeEdit(parent);
    e->setObjectName(QLatin1String(name));
    // The logger's clock counts from December 1901 to January 2038.
    e->setDateTimeRange(QDateTime(QDate(1901, 12, 13), QTime(20, 45, 52)),
                        QDateTime(QDate(2038, 1, 19), QTime(3, 14, 7)));
    e->setDisplayFormat(QStringLiteral("dd MMM yyyy HH:mm:ss"));
    return e;
}
} // namespace

frmSarnicRead::frmSarnicRead(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSarnicRead"));
    frameStatus = new QGroupBox(this);
    lblSerialNumber = new QLabel(frameStatus);
    txtSerialNumber = new QLineEdit(frameStatus);
    txtSerialNumber->setObjectName(QStringLiteral("txtSerialNumber"));
    txtSerialNumber->setMaxLength(8);
    lblDate = new QLabel(frameStatus);
    medDate = makePicker(frameStatus, "medDate");
    ResetTime = new QToolButton(frameStatus);
    ResetTime->setObjectName(QStringLiteral("ResetTime"));
    ResetTime->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    ResetTime->setToolTip(QStringLiteral("PC time"));
    lblLeakStateRate = new QLabel(frameStatus);
    txtLeakStateRate = new QLineEdit(frameStatus);
    lblSeconds1 = new QLabel(frameStatus);
    lblNoLeakRate = new QLabel(frameStatus);
    txtNoLeakStateRate = new QLineEdit(frameStatus);
    lblSeconds2 = new QLabel(frameStatus);
    lblLoggingDays = new QLabel(frameStatus);
    lblDays = new QLabel(frameStatus);
    lblLastResetTime = new QLabel(frameStatus);
    timeResetTime = makePicker(frameStatus, "timeResetTime");
    timeResetTime->setReadOnly(true);
    timeResetTime->setButtonSymbols(QAbstractSpinBox::NoButtons);
    for (int i : {0, 1, 2, 4}) {
        cmdUpdate[i] = new QPushButton(frameStatus);
        cmdUpdate[i]->setObjectName(QStringLiteral("cmdUpdate%1").arg(i));
        connect(cmdUpdate[i], &QPushButton::clicked, this, [this, i] { cmdUpdate_Click(i); });
    }
    connect(ResetTime, &QToolButton::clicked, this, &frmSarnicRead::ResetTime_Click);

    auto* days = new QHBoxLayout;
    for (int i = 0; i < 7; ++i) {
        chkLoggingDays[i] = new QCheckBox(frameStatus);
        days->addWidget(chkLoggingDays[i]);
    }
    auto* daysBox = new QVBoxLayout;
    daysBox->addWidget(lblDays);
    daysBox->addLayout(days);

    auto* g = new QGridLayout(frameStatus);
    g->addWidget(lblSerialNumber, 0, 0);
    g->addWidget(txtSerialNumber, 0, 1);
    g->addWidget(cmdUpdate[0], 0, 4);
    g->addWidget(lblDate, 1, 0);
    g->addWidget(medDate, 1, 1);
    g->addWidget(ResetTime, 1, 2);
    g->addWidget(cmdUpdate[1], 1, 4);
    g->addWidget(lblLeakStateRate, 2, 0);
    g->addWidget(txtLeakStateRate, 2, 1);
    g->addWidget(lblSeconds1, 2, 2, 1, 2);
    g->addWidget(cmdUpdate[2], 2, 4, 2, 1);
    g->addWidget(lblNoLeakRate, 3, 0);
    g->addWidget(txtNoLeakStateRate, 3, 1);
    g->addWidget(lblSeconds2, 3, 2, 1, 2);
    g->addWidget(lblLoggingDays, 4, 0);
    g->addLayout(daysBox, 4, 1, 1, 3);
    g->addWidget(cmdUpdate[4], 4, 4);
    g->addWidget(lblLastResetTime, 5, 0);
    g->addWidget(timeResetTime, 5, 1);
    g->setColumnStretch(3, 1);

    frameInformation = new QGroupBox(this);
    lblFirmware = new QLabel(frameInformation);
    txtVersionNumber = new QLabel(frameInformation);
    lblLeakStatus = new QLabel(frameInformation);
    txtLeakStatus = new QLabel(frameInformation);
    lblBatteryVoltage = new QLabel(frameInformation);
    txtBatteryVoltage = new QLabel(frameInformation);
    auto* gi = new QGridLayout(frameInformation);
    gi->addWidget(lblFirmware, 0, 0);
    gi->addWidget(txtVersionNumber, 0, 1);
    gi->addWidget(lblLeakStatus, 1, 0);
    gi->addWidget(txtLeakStatus, 1, 1);
    gi->addWidget(lblBatteryVoltage, 2, 0);
    gi->addWidget(txtBatteryVoltage, 2, 1);
    gi->setColumnStretch(1, 1);

    auto* v = new QVBoxLayout(this);
    v->addWidget(frameStatus);
    v->addWidget(frameInformation);
    LoadResources();
}

void frmSarnicRead::LoadResources() {
    setWindowTitle(LoadLangString(txt::ReadCaption));
    plat::fitCaption(this);
    frameStatus->setTitle(LoadLangString(txt::BadStatus));
    lblSerialNumber->setText(LoadLangString(txt::ReadSerialLabel));
    lblDate->setText(LoadLangString(txt::ClockLabel));
    lblLeakStateRate->setText(LoadLangString(txt::LeakStateRate));
    lblSeconds1->setText(LoadLangString(txt::Seconds));
    lblNoLeakRate->setText(LoadLangString(txt::NoLeakStateRate));
    lblSeconds2->setText(LoadLangString(txt::Seconds));
    lblLoggingDays->setText(LoadLangString(txt::LoggingDays));
    lblDays->setText(LoadLangString(txt::DayNames));
    lblLastResetTime->setText(LoadLangString(txt::LastResetTime));
    const QString update = LoadLangString(txt::UpdateButton);
    for (QPushButton* b : cmdUpdate)
        if (b)
            b->setText(update);
    frameInformation->setTitle(LoadLangString(txt::InformationFrame));
    lblFirmware->setText(LoadLangString(txt::Firmware));
    lblLeakStatus->setText(LoadLangString(txt::LeakStatus));
    lblBatteryVoltage->setText(LoadLangString(txt::BatteryVoltage));
}

bool frmSarnicRead::Form_Load() {
    const bool ok = LoggerReadVersion(FirmwareMajor, FirmwareMinor) && LoggerReadSerial(Serial) &&
                    LoggerReadClock(Clock) && LoggerReadRates(LeakStateRate, NoLeakStateRate) && LoggerReadDays(Days) &&
                    LoggerReadLastReset(LastReset) && LoggerReadLeakStatus(LeakStatus) && LoggerReadBattery(Battery);
    if (!ok) {
        ShowMessage(LoadLangString(txt::LinkFailed));
        return false;
    }
    txtVersionNumber->setText(FormatFirmware(FirmwareMajor, FirmwareMinor));
    txtSerialNumber->setText(Serial.left(8));
    medDate->setDateTime(Clock);
    txtLeakStateRate->setText(QString::number(LeakStateRate));
    txtNoLeakStateRate->setText(QString::number(NoLeakStateRate));
    for (int i = 0; i < 7; ++i)
        if (Days[i])
            chkLoggingDays[i]->setChecked(true);
    timeResetTime->setDateTime(LastReset);
    txtLeakStatus->setText(LeakStatus);
    txtBatteryVoltage->setText(FormatBattery(Battery));
    return true;
}

bool frmSarnicRead::askPassword() {
    frmEnterPassword password(this);
    plat::ui().execDialog(&password);
    return password.stringPassword == QLatin1String(kUpdatePassword);
}

void frmSarnicRead::setUpdateButtonsEnabled(bool on) {
    for (QPushButton* b : cmdUpdate)
        if (b)
            b->setEnabled(on);
    ResetTime->setEnabled(on);
}

void frmSarnicRead::cmdUpdate_Click(int index) {
    // The waits of the link let clicks through; one update at a time.
    if (updating_)
        return;
    const QString distributor = GetSettingText(QStringLiteral("Distributor"), QStringLiteral("Brenholt"));
    if (UpdateNeedsPassword(distributor, index) && !askPassword()) {
        ShowMessage(LoadLangString(txt::WrongPassword));
        return;
    }
    if (index == 0) {
        const QString text = txtSerialNumber->text();
        // Exactly what the user typed or nothing: a longer or non-numeric text would be cut to another serial.
        if (!IsSendableSerial(text)) {
            ShowMessage(LoadLangString(txt::BadSerial));
            ShowMessage(LoadLangString(txt::LinkFailed));
            return;
        }
    }
    bool ok = true;
    updating_ = true;
    setUpdateButtonsEnabled(false);
    switch (index) {
    case 0:
        ok = LoggerWriteSerial(txtSerialNumber->text()) && LoggerReadSerial(Serial);
        if (ok)
            txtSerialNumber->setText(Serial.left(8));
        break;
    case 1: {
        QDateTime when = medDate->dateTime();
        if (!when.isValid())
            when = QDateTime::currentDateTime();
        ok = LoggerWriteClock(when);
        std::this_thread::sleep_for(std::chrono::milliseconds(ClockSettleMs));
        const bool read = LoggerReadClock(Clock);
        if (read)
            medDate->setDateTime(Clock);
        ok = ok && read;
        break;
    }
    case 2:
        ok = LoggerWriteRates(txtLeakStateRate->text(), txtNoLeakStateRate->text()) &&
             LoggerReadRates(LeakStateRate, NoLeakStateRate);
        if (ok) {
            txtLeakStateRate->setText(QString::number(LeakStateRate));
            txtNoLeakStateRate->setText(QString::number(NoLeakStateRate));
        }
        break;
    case 4: {
        DayFlags flags{};
        for (int i = 0; i < 7; ++i)
            flags[i] = chkLoggingDays[i]->isChecked();
        ok = LoggerWriteDays(flags) && LoggerReadDays(Days);
        if (ok)
            for (int i = 0; i < 7; ++i)
                chkLoggingDays[i]->setChecked(Days[i]);
        break;
    }
    default:
        // No such button: nothing is sent and nothing is said.
        updating_ = false;
        setUpdateButtonsEnabled(true);
        return;
    }
    updating_ = false;
    setUpdateButtonsEnabled(true);
    ShowMessage(LoadLangString(ok ? txt::UpdateDone : txt::LinkFailed));
}

void frmSarnicRead::ResetTime_Click() {
    medDate->setDateTime(QDateTime::currentDateTime());
    cmdUpdate_Click(1);
}
