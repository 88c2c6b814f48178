#include "core/DMAModule.h"

#include "core/Shared.h"
#include "lang/LangText.h"
#include "platform/VbRuntime.h"

#include <string_view>

std::vector<LoggerRecord> LoggerTable(kMaxLoggers + 1);
int16_t LoggerCount = 0;
int16_t LinesRead = 0;
std::string FileBanner;
std::string FormatVersionPrefix;
bool FieldUnitFormat = false;

namespace {

// The leading numeric value of part of a text; a part that starts beyond the end reads as no digits.
double valueOf(std::string_view text, size_t start, size_t count) {
    if (start >= text.size())
        return 0;
    return plat::vb::Val(text.substr(start, count));
}

bool inRange(double v, double lo, double hi) {
    return v >= lo && v <= hi;
}

} // namespace

void InitDatabaseStore() {
    FileBanner = LoadLangAnsi(txt::VordalinLoggerDatabase);
    FormatVersionPrefix = "V5.";
    FieldUnitFormat = false;
}

bool IsValidSerial(int32_t serial) {
    if (serial < 0 || serial > 16777215)
        return false;
    const std::string digits = plat::vb::formatSerial(serial);
    return inRange(valueOf(digits, 0, 2), 1, 12);
}

bool IsValidReadingValue(const std::string& text) {
    if (text.empty())
        return true;
    for (char c : text) {
        if (!(c >= '0' && c <= '9') && c != ' ')
            return false;
    }
    return inRange(plat::vb::Val(text), 0, 99);
}

bool IsValidDate(const std::string& text) {
    if (text.empty())
        return true;
    if (text.find('/') != 4)
        return false;
    if (valueOf(text, 0, 4) < 1970)
        return false;
    if (text.find('/', 5) != 7)
        return false;
    if (!inRange(valueOf(text, 5, 2), 1, 12))
        return false;
    if (text.size() != 10)
        return false;
    return inRange(valueOf(text, 8, 2), 1, 31);
}

bool IsValidTime(const std::string& text) {
    if (text.empty())
        return true;
    if (text.find(':') != 2 || !inRange(valueOf(text, 0, 2), 0, 24))
        return false;
    if (text.find(':', 3) != 5 || !inRange(valueOf(text, 3, 2), 0, 59))
        return false;
    if (text.size() != 8)
        return false;
    return inRange(valueOf(text, 6, 2), 0, 59);
}

bool IsValidStatus(const std::string&) {
    return true;
}

bool ValidateLoggerRecord(const LoggerRecord& record) {
    // Every rule is evaluated, as the editing dialogs rely on one pass over the whole record.
    bool ok = IsValidSerial(record.Serial);
    ok = (record.GridRef.size() == 12) && ok;
    for (int slot = 1; slot <= kMaxReadings; ++slot) {
        ok = IsValidReadingValue(std::to_string(record.Level[slot])) && ok;
        ok = IsValidReadingValue(std::to_string(record.Spread[slot])) && ok;
        ok = IsValidStatus(record.ReadingStatus[slot]) && ok;
        ok = IsValidDate(record.ReadingDate[slot]) && ok;
    }
    ok = (IsValidTime(record.Received) || IsValidDate(record.Received)) && ok;
    return ok;
}

bool SerialExists(int32_t serial) {
    if (LoggerCount < 1)
        return false;
    const int last = LoggerCount < kMaxLoggers ? LoggerCount : kMaxLoggers;
    for (int i = 1; i <= last; ++i) {
        if (LoggerTable[static_cast<size_t>(i)].Serial == serial)
            return true;
    }
    return false;
}

char StatusLetter(std::string_view status) {
    size_t b = 0;
    size_t e = status.size();
    while (b < e && status[b] == ' ')
        ++b;
    while (e > b && status[e - 1] == ' ')
        --e;
    if (b == e)
        return 0;
    char c = status[b];
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    return (c == 'W' || c == 'L' || c == 'N') ? c : 0;
}

int32_t StatusLetterTextNumber(char letter) {
    switch (letter) {
    case 'W':
        return txt::Warning;
    case 'L':
        return txt::Leak;
    case 'N':
        return txt::NoLeak;
    default:
        return 0;
    }
}

std::string StatusLetterText(const std::string& status) {
    const int32_t id = StatusLetterTextNumber(StatusLetter(status));
    return id == 0 ? std::string() : LoadLangAnsi(id);
}

std::string LeakStatus(int16_t level, int16_t spread) {
    return plat::vb::wrap16(static_cast<int>(level) - static_cast<int>(spread)) > 15 ? "L" : "N";
}

void ClearLoggerRecord(LoggerRecord& record) {
    // Cleared in place, so a record that is refilled keeps its string buffers.
    record.Serial = 0;
    record.GridRef.clear();
    record.Comment1.clear();
    record.Comment2.clear();
    record.Deployed.clear();
    record.Received.clear();
    for (auto& s : record.ReadingDate)
        s.clear();
    for (auto& s : record.ReadingStatus)
        s.clear();
    record.Level.fill(0);
    record.Spread.fill(0);
    record.UserComments.clear();
}
