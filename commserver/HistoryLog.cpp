#include "commserver/HistoryLog.h"

#include <cstdio>
#include <ctime>
#include <utility>

#include "commserver/CommonLogger.h"

namespace comms {

namespace {

int outcomeOf(int value) {
    return value & HistoryEventCode::OutcomeMask;
}
bool typeSelected(int mask, int code) {
    return ((mask >> 2) & (code >> 2)) != 0;
}

std::string portLabel(int portNumber) {
    if (portNumber < 0)
        return {};
    return "COM" + std::to_string(portNumber + 1);
}

} // namespace

bool LogTypesSelect(int logTypes, int code) {
    const int outcomes = outcomeOf(logTypes);
    return typeSelected(logTypes, code) && (outcomes == 3 || outcomes == outcomeOf(code));
}

bool ViewTypesSelect(int viewTypes, int code) {
    const int outcomes = outcomeOf(viewTypes);
    return typeSelected(viewTypes, code) && (outcomes == 3 || (outcomes & outcomeOf(code)) != 0);
}

std::string ViewFilterDescription(int viewTypes) {
    if (viewTypes == kAllHistoryTypes)
        return "Everything";
    std::string text;
    switch (outcomeOf(viewTypes)) {
    case 3:
        text = "OK and Failed Operations";
        break;
    case 1:
        text = "Successful Operations";
        break;
    case 2:
        text = "Failed Operations";
        break;
    default:
        break;
    }
    text += " Events: ";
    if (viewTypes >= 2044 && viewTypes <= 2047)
        return text + "All Events";
    static const std::pair<int, const char*> kWords[] = {
        {HistoryEventCode::FileReceive, "File Receive"}, {HistoryEventCode::FileSend, "Fle Send"},
        {HistoryEventCode::Initialise, "Intialise"},     {HistoryEventCode::ClockSet, "Clock Set"},
        {HistoryEventCode::FileDelete, "File Delete"},   {HistoryEventCode::FileMove, "File Move"},
        {HistoryEventCode::ProgramRun, "Prog Run"},      {HistoryEventCode::Security, "Security"},
        {HistoryEventCode::Connects, "Connects"},
    };
    bool first = true;
    for (const auto& [bit, word] : kWords) {
        if ((viewTypes & bit) == 0)
            continue;
        if (!first)
            text += ", ";
        text += word;
        first = false;
    }
    return text;
}

std::uint32_t NextChangeCount(std::uint32_t c) {
    return c >= 0x7ffffffe ? 0 : c + 1;
}

std::string FormatEventTime(std::int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    localtime_r(&t, &local);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1,
                  local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return buf;
}

std::string PlainText(std::string text) {
    for (char& c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            c = '?';
    }
    return text;
}

HistoryLog::HistoryLog() : now_([] { return static_cast<std::int64_t>(std::time(nullptr)); }) {}

void HistoryLog::Clear() {
    std::lock_guard lock(ringMutex_);
    ring_ = Entries{};
    changeCounter_.store(1);
}

HistoryLog::Entries HistoryLog::Snapshot() const {
    std::lock_guard lock(ringMutex_);
    return ring_;
}

void HistoryLog::SetLogFile(std::string path) {
    std::lock_guard lock(settingsMutex_);
    logFile_ = std::move(path);
}

std::string HistoryLog::LogFile() const {
    std::lock_guard lock(settingsMutex_);
    return logFile_;
}

void HistoryLog::SetCommonLogger(CommonLoggerLink* logger, std::function<SessionNames()> sessionNames) {
    std::lock_guard lock(settingsMutex_);
    commonLogger_ = logger;
    sessionNames_ = std::move(sessionNames);
}

void HistoryLog::SetClock(std::function<std::int64_t()> now) {
    std::lock_guard lock(settingsMutex_);
    now_ = std::move(now);
}

void HistoryLog::LogHistoryEvent(const std::string& rawMessage, int code) {
    // Names and paths in events come from the remote unit: the ring, the file and the logger get them on one
    // line.
    const std::string message = PlainText(rawMessage);
    std::function<std::int64_t()> now;
    CommonLoggerLink* logger;
    std::function<SessionNames()> sessionNames;
    {
        std::lock_guard lock(settingsMutex_);
        now = now_;
        logger = commonLogger_;
        sessionNames = sessionNames_;
    }
    const std::int64_t time = now();
    const int portNumber = PortNumber.load();
    const std::string text = portLabel(portNumber) + " " + message;

    {
        // The lock stands for the ring's busy flag: a reader copies the ring under it and never sees it
        // half moved.
        std::lock_guard lock(ringMutex_);
        for (int i = 0; i + 1 < kEntries; ++i)
            ring_[static_cast<std::size_t>(i)] = std::move(ring_[static_cast<std::size_t>(i + 1)]);
        ring_[kEntries - 1] = HistoryEntry{text, code, time};
        changeCounter_.store(NextChangeCount(changeCounter_.load()));
    }

    appendToFile(text, code, time);

    if (logger) {
        const SessionNames names = sessionNames ? sessionNames() : SessionNames{};
        logger->Forward(message, code, names.userName, names.fullName, portNumber, time);
    }
}

void HistoryLog::appendToFile(const std::string& text, int code, std::int64_t time) {
    const std::string path = LogFile();
    if (path.empty() || LogStatus.load() != 1 || !LogTypesSelect(LogTypes.load(), code))
        return;
    std::lock_guard lock(fileMutex_);
    std::FILE* f = std::fopen(path.c_str(), "ab");
    // A log that cannot be opened loses only its own copy of the event.
    if (!f)
        return;
    const std::string line = FormatEventTime(time) + " " + text + "\r\n";
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
}

} // namespace comms
