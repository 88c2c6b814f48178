#pragma once
// The logger read and update window: shows a connected logger's identity, clock, transmission rates, logging
// days, last reset, leak status and battery, and writes the serial number, clock, rates and logging days back,
// each followed by a read-back. Some updates ask for a password first.
#include <QDateTime>
#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>

#include "directlink/SarnicComms.h"

class QCheckBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace directlink {
// The password that guards updates.
inline constexpr const char* kUpdatePassword = "tibrun";
// With this distributor the serial number, clock and rates are all guarded (the logging days are not);
// with any other, only the serial number.
inline constexpr const char* kWideLockDistributor = "Aquanet";
// Whether the update of that button asks for the password under that distributor setting.
bool UpdateNeedsPassword(const QString& distributor, int index);
// A serial text the update may send: exactly eight digits, first two from 01 to 12.
bool IsSendableSerial(const QString& text);
// Battery volts for the window ("0.00"; "--" for a reading with no finite voltage).
QString FormatBattery(float volts);
// Firmware major and minor as "0.00": 1.2 shows as 1.02.
QString FormatFirmware(std::int16_t major, std::int16_t minor);
} // namespace directlink

class frmSarnicRead : public QDialog {
    Q_OBJECT
public:
    explicit frmSarnicRead(QWidget* parent = nullptr);

    // Reads the logger; false (after the failure message) when a read failed and the window must not open.
    bool Form_Load();
    void cmdUpdate_Click(int index);
    void ResetTime_Click();

    QGroupBox* frameStatus = nullptr;
    QLabel* lblSerialNumber = nullptr;
    QLineEdit* txtSerialNumber = nullptr;
    QLabel* lblDate = nullptr;
    QDateTimeEdit* medDate = nullptr;
    QToolButton* ResetTime = nullptr;
    QLabel* lblLeakStateRate = nullptr;
    QLineEdit* txtLeakStateRate = nullptr;
    QLabel* lblSeconds1 = nullptr;
    QLabel* lblNoLeakRate = nullptr;
    QLineEdit* txtNoLeakStateRate = nullptr;
    QLabel* lblSeconds2 = nullptr;
    QLabel* lblLoggingDays = nullptr;
    QLabel* lblDays = nullptr;
    std::array<QCheckBox*, 7> chkLoggingDays{};
    QLabel* lblLastResetTime = nullptr;
    QDateTimeEdit* timeResetTime = nullptr;
    std::array<QPushButton*, 5> cmdUpdate{}; // indexes 0, 1, 2 and 4; 3 stays empty
    QGroupBox* frameInformation = nullptr;
    QLabel* lblFirmware = nullptr;
    QLabel* txtVersionNumber = nullptr;
    QLabel* lblLeakStatus = nullptr;
    QLabel* txtLeakStatus = nullptr;
    QLabel* lblBatteryVoltage = nullptr;
    QLabel* txtBatteryVoltage = nullptr;

    // The pause between setting the clock and reading it back (the logger settles its clock meanwhile).
    int ClockSettleMs = 1000;

    // Window state, as last read from the logger.
    std::int16_t FirmwareMajor = 0;
    std::int16_t FirmwareMinor = 0;
    QString Serial;
    QDateTime Clock;
    std::int32_t LeakStateRate = 0;
    std::int32_t NoLeakStateRate = 0;
    directlink::DayFlags Days{};
    QDateTime LastReset;
    QString LeakStatus;
    float Battery = 0;

private:
    void LoadResources();
    bool askPassword();
    void setUpdateButtonsEnabled(bool on);
    bool updating_ = false;
};
