#pragma once
// SarnicComms: the only code that talks to a Sarnic logger. It keeps the link state of the process, builds
// the command messages, runs one command-and-reply exchange at a time through Com32 and turns the reply bytes
// into values. Every operation reports success as a Boolean (the windows show their own message on False)
// and none throws. The waits let the user interface process its events, so windows repaint and timers fire
// while a reply comes in; an operation started from inside such a wait is refused, so one exchange can never
// run into another.
#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>

namespace directlink {

constexpr std::int32_t kLinkBaud = 2400;

// Command codes.
enum SarnicCommand : std::int32_t {
    kCmdIdentify = 0,
    kCmdLeakStatus = 1,
    kCmdReadClock = 2,
    kCmdSetClock = 3,
    kCmdReadRates = 4,
    kCmdWriteRates = 5,
    kCmdHistory = 7,
    kCmdHistogram = 8,
    kCmdNoiseLevel = 11,
    kCmdSleep = 13,
    kCmdWriteDays = 17,
    kCmdReadDays = 18,
    kCmdBattery = 240,
    kCmdWriteSerial = 252,
    kCmdReadMemory = 253,
};

using DayFlags = std::array<bool, 7>; // index 0 Sunday .. 6 Saturday
using HistogramCounts = std::array<std::int32_t, 100>;
using HistoryBytes = std::array<std::uint8_t, 12>;

bool LinkIsOpen();
bool LinkConnect(std::int16_t port);
bool LinkWaitIdle();
std::int32_t LinkReplyLength(std::int32_t command);
void LinkSend(std::int32_t command);
bool LinkTransact(std::int32_t command);

bool LoggerSleep();
bool LoggerReadVersion(std::int16_t& major, std::int16_t& minor);
bool LoggerReadSerial(QString& serial);
bool LoggerReadClock(QDateTime& time);
bool LoggerReadRates(std::int32_t& leakRate, std::int32_t& noLeakRate);
std::int16_t LoggerReadRateScale();
bool LoggerReadDays(DayFlags& days);
bool LoggerReadLastReset(QDateTime& time);
bool LoggerReadLeakStatus(QString& status);
bool LoggerReadBattery(float& volts);
bool LoggerWriteSerial(const QString& serial);
bool LoggerWriteClock(const QDateTime& time);
bool LoggerWriteRates(const QString& leakRate, const QString& noLeakRate);
bool LoggerWriteDays(const DayFlags& days);
bool LoggerReadGraph(HistogramCounts& counts);
bool LoggerReadNoiseLevel(float& level);
bool LoggerReadHistory(HistoryBytes& levels, HistoryBytes& spreads);

// Logger times count seconds from 1 January 1970 00:00:00 on the PC's calendar as the user sees it: no
// zone, no daylight saving. The date-times carry local time with exactly these fields.
QDateTime LoggerTimeToDateTime(std::int32_t seconds);
// False when the time does not fit the logger's signed 32-bit count (before December 1901, after January 2038).
bool DateTimeToLoggerTime(const QDateTime& time, std::int32_t* seconds);

} // namespace directlink
