#include "directlink/SarnicComms.h"

#include "core/Shared.h"
#include "directlink/Com32.h"
#include "lang/LangText.h"
#include "platform/VbRuntime.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <limits>

namespace directlink {

namespace {
// Link state of the process. The receive buffer keeps the last reply until the next one overwrites it.
std::array<std::uint8_t, 256> ReceiveBuffer{};
std::array<std::uint8_t, 5> SendBuffer{};
std::array<std::uint8_t, 5> PayloadParams{}; // element 0: payload length, 1..4: payload bytes
std::int16_t FirmwareMajor = 0;
std::int16_t FirmwareMinor = 0;

// True while a wait of this module lets the user interface run. Anything the user starts then (a second
// click on an update button, a timer of another window) must not begin an exchange of its own: it would
// send while a reply is on its way and could decode, or even write back, bytes meant for the other one.
bool InsideWait = false;

void LetEventsRun() {
    if (!QCoreApplication::instance())
        return;
    const bool was = InsideWait;
    InsideWait = true;
    QCoreApplication::processEvents();
    InsideWait = was;
}

void SetPayload(std::initializer_list<std::uint8_t> bytes) {
    PayloadParams.fill(0);
    PayloadParams[0] = static_cast<std::uint8_t>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), PayloadParams.begin() + 1);
}

std::int32_t Be32(int first) {
    const std::uint32_t v = static_cast<std::uint32_t>(ReceiveBuffer[first]) << 24 |
                            static_cast<std::uint32_t>(ReceiveBuffer[first + 1]) << 16 |
                            static_cast<std::uint32_t>(ReceiveBuffer[first + 2]) << 8 | ReceiveBuffer[first + 3];
    return static_cast<std::int32_t>(v);
}

// A rate text as the payload byte of command 5: its leading number in seconds, in tens of seconds, at most
// 255. False for a negative number: wrapped into a byte it would become a long rate nobody typed.
bool RatePayloadByte(const QString& text, std::uint8_t* byte) {
    const double value = plat::vb::Val(text);
    std::int32_t seconds = 0;
    if (!plat::vb::toInt32(value, &seconds))
        seconds = value < 0 ? -1 : std::numeric_limits<std::int32_t>::max();
    if (seconds < 0)
        return false;
    *byte = static_cast<std::uint8_t>(std::min<std::int32_t>(seconds / 10, 255));
    return true;
}
} // namespace

QDateTime LoggerTimeToDateTime(std::int32_t seconds) {
    const QDateTime utc = QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC).addSecs(seconds);
    return QDateTime(utc.date(), utc.time());
}

bool DateTimeToLoggerTime(const QDateTime& time, std::int32_t* seconds) {
    if (!time.isValid())
        return false;
    const QTime t = time.time();
    const qint64 n = QDateTime(time.date(), QTime(t.hour(), t.minute(), t.second()), Qt::UTC).toSecsSinceEpoch();
    if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
        return false;
    *seconds = static_cast<std::int32_t>(n);
    return true;
}

bool LinkIsOpen() {
    return (GET_STATUS() & kStatusNotOpen) == 0;
}

bool LinkConnect(std::int16_t port) {
    if (InsideWait)
        return false;
    COMM_CLOSE();
    if (port < 1 || port > 4)
        return false;
    if (COMM_OPEN(port, kLinkBaud) != 0)
        return false;
    VORDALIN_ATTENTION();
    COMM_CLOSE();
    if (COMM_OPEN(port, kLinkBaud) != 0)
        return false;
    return LinkWaitIdle();
}

bool LinkWaitIdle() {
    if (InsideWait || !LinkIsOpen())
        return false;
    for (;;) {
        const std::uint16_t status = GET_STATUS();
        if ((status & kStatusBusy) && (status & kStatusError)) {
            COMM_CLOSE();
            return false;
        }
        // Closed meanwhile (the user disconnected while we waited): nothing more will come.
        if (status & kStatusNotOpen)
            return false;
        LetEventsRun();
        if (!(status & kStatusBusy))
            return true;
    }
}

std::int32_t LinkReplyLength(std::int32_t command) {
    switch (command) {
    case kCmdIdentify:
    case kCmdNoiseLevel:
        return 12;
    case kCmdLeakStatus:
    case kCmdReadDays:
    case kCmdBattery:
        return 1;
    case kCmdReadClock:
    case kCmdReadRates:
    case kCmdReadMemory:
        return 4;
    case kCmdHistory:
        return 108;
    case kCmdHistogram:
        return 200;
    default:
        return 0;
    }
}

void LinkSend(std::int32_t command) {
    SendBuffer[0] = static_cast<std::uint8_t>(command & 0xFF);
    const int n = std::min<int>(PayloadParams[0], 4);
    for (int i = 1; i <= n; ++i)
        SendBuffer[i] = PayloadParams[i];
    if (PUT_MESSAGE(SendBuffer.data(), static_cast<std::int16_t>(n + 1)) == -1)
        ShowMessage(LoadLangString(txt::MessageRefused));
}

bool LinkTransact(std::int32_t command) {
    // No port, no exchange: fail at once rather than hand the library a message it can only refuse.
    if (InsideWait || !LinkIsOpen())
        return false;
    LinkSend(command);
    const std::int32_t n = LinkReplyLength(command);
    if (n == 0)
        return LinkWaitIdle();
    std::int16_t r = GET_MESSAGE(ReceiveBuffer.data(), 255);
    while (r == 0) {
        if (!LinkWaitIdle())
            return false;
        r = GET_MESSAGE(ReceiveBuffer.data(), 255);
    }
    // A reply shorter than the command's layout would leave the decoders reading an earlier reply's bytes.
    return r >= n;
}

bool LoggerSleep() {
    SetPayload({});
    if (!LinkTransact(kCmdSleep))
        return false;
    const bool idle = LinkWaitIdle();
    COMM_CLOSE();
    return idle;
}

bool LoggerReadVersion(std::int16_t& major, std::int16_t& minor) {
    SetPayload({});
    if (!LinkTransact(kCmdIdentify))
        return false;
    major = FirmwareMajor = ReceiveBuffer[1];
    minor = FirmwareMinor = ReceiveBuffer[2];
    return true;
}

bool LoggerReadSerial(QString& serial) {
    SetPayload({});
    if (!LinkTransact(kCmdIdentify))
        return false;
    const std::int32_t value = ReceiveBuffer[3] * 65536 + ReceiveBuffer[4] * 256 + ReceiveBuffer[5];
    serial = plat::vb::formatSerialQ(value);
    return true;
}

bool LoggerReadClock(QDateTime& time) {
    SetPayload({});
    if (!LinkTransact(kCmdReadClock))
        return false;
    time = LoggerTimeToDateTime(Be32(0));
    return true;
}

bool LoggerReadLastReset(QDateTime& time) {
    SetPayload({252, 18});
    if (!LinkTransact(kCmdReadMemory))
        return false;
    time = LoggerTimeToDateTime(Be32(0));
    return true;
}

std::int16_t LoggerReadRateScale() {
    // Each number on its own: firmware before 1.2 keeps no scale in its memory.
    if (FirmwareMajor < 1 || FirmwareMinor < 2)
        return 5;
    SetPayload({252, 24});
    if (!LinkTransact(kCmdReadMemory))
        return 5;
    return ReceiveBuffer[0];
}

bool LoggerReadRates(std::int32_t& leakRate, std::int32_t& noLeakRate) {
    SetPayload({});
    if (!LinkTransact(kCmdReadRates))
        return false;
    // Taken now: the scale reads below overwrite the receive buffer.
    std::int32_t leak = ReceiveBuffer[3];
    std::int32_t noLeak = ReceiveBuffer[2];
    leak *= LoggerReadRateScale();
    noLeak *= LoggerReadRateScale();
    leakRate = leak;
    noLeakRate = noLeak;
    return true;
}

bool LoggerReadDays(DayFlags& days) {
    SetPayload({});
    if (!LinkTransact(kCmdReadDays))
        return false;
    unsigned mask = ReceiveBuffer[0];
    for (int i = 0; i < 7; ++i) {
        days[i] = (mask & 1) != 0;
        mask >>= 1;
    }
    return true;
}

bool LoggerReadLeakStatus(QString& status) {
    SetPayload({});
    if (!LinkTransact(kCmdLeakStatus))
        return false;
    switch (ReceiveBuffer[0]) {
    case 0:
        status = LoadLangString(txt::NotInLeak);
        break;
    case 1:
    case 3:
        status = LoadLangString(txt::LeakStatusWarning);
        break;
    case 2:
        status = LoadLangString(txt::LeakStatusLeak);
        break;
    default:
        status = QStringLiteral("Undefined");
        break;
    }
    return true;
}

bool LoggerReadBattery(float& volts) {
    SetPayload({});
    if (!LinkTransact(kCmdBattery))
        return false;
    const int b = ReceiveBuffer[0];
    // 255 is the top of the converter's range: no finite voltage; the window shows it as unknown.
    volts = b == 255 ? std::numeric_limits<float>::infinity() : static_cast<float>(1.25 * 255.0 / (255 - b));
    return true;
}

bool LoggerWriteSerial(const QString& serial) {
    std::int32_t s = 0;
    // Only what fits the logger's 24 bits is sent; anything else would be cut to a serial nobody typed.
    if (!plat::vb::toInt32(plat::vb::Val(serial), &s) || s < 0 || s > 16777215)
        return false;
    SetPayload(
        {static_cast<std::uint8_t>(s / 65536), static_cast<std::uint8_t>(s / 256), static_cast<std::uint8_t>(s)});
    return LinkTransact(kCmdWriteSerial);
}

bool LoggerWriteClock(const QDateTime& time) {
    std::int32_t n = 0;
    if (!DateTimeToLoggerTime(time, &n))
        return false;
    const auto u = static_cast<std::uint32_t>(n);
    SetPayload({static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
                static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)});
    return LinkTransact(kCmdSetClock);
}

bool LoggerWriteRates(const QString& leakRate, const QString& noLeakRate) {
    std::uint8_t leak = 0;
    std::uint8_t noLeak = 0;
    if (!RatePayloadByte(leakRate, &leak) || !RatePayloadByte(noLeakRate, &noLeak))
        return false;
    SetPayload({});
    if (!LinkTransact(kCmdReadRates))
        return false;
    // The two further settings go back as the logger gave them.
    SetPayload({ReceiveBuffer[0], ReceiveBuffer[1], noLeak, leak});
    return LinkTransact(kCmdWriteRates);
}

bool LoggerWriteDays(const DayFlags& days) {
    unsigned mask = 0;
    for (int i = 0; i < 7; ++i)
        if (days[i])
            mask |= 1u << i;
    SetPayload({static_cast<std::uint8_t>(mask)});
    return LinkTransact(kCmdWriteDays);
}

bool LoggerReadGraph(HistogramCounts& counts) {
    SetPayload({});
    if (!LinkTransact(kCmdHistogram))
        return false;
    for (int i = 0; i < 100; ++i)
        counts[i] = ReceiveBuffer[2 * i] * 256 + ReceiveBuffer[2 * i + 1];
    return true;
}

bool LoggerReadNoiseLevel(float& level) {
    SetPayload({});
    if (!LinkTransact(kCmdNoiseLevel))
        return false;
    level = static_cast<float>(ReceiveBuffer[0] * 0.5);
    return true;
}

bool LoggerReadHistory(HistoryBytes& levels, HistoryBytes& spreads) {
    SetPayload({});
    if (!LinkTransact(kCmdHistory))
        return false;
    // Entry 11, the current one, is at the front of the reply.
    for (int j = 0; j < 12; ++j) {
        levels[j] = ReceiveBuffer[22 - 2 * j];
        spreads[j] = ReceiveBuffer[23 - 2 * j];
    }
    return true;
}

} // namespace directlink
