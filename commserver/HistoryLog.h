#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// What the server did, for the operator: every event goes to a ring of the last 100 (the History window), to
// the log file when logging is on and its type mask selects the event, and to the outside common logger when
// that link is configured. Events come from both the worker and the window thread.
namespace comms {

class CommonLoggerLink;

// Event code = type | outcome.
namespace HistoryEventCode {
constexpr int Success = 1;
constexpr int Failure = 2;
constexpr int Neither = 3;
constexpr int OutcomeMask = 3;
constexpr int Initialise = 0x004;
constexpr int ClockSet = 0x008;
constexpr int FileDelete = 0x010;
constexpr int FileMove = 0x020;
constexpr int ProgramRun = 0x040;
constexpr int FileReceive = 0x080;
constexpr int FileSend = 0x100;
constexpr int Connects = 0x200;
constexpr int Security = 0x400;
constexpr int FileInfo = 0x800;
} // namespace HistoryEventCode

// Both type masks: bits 0-1 outcomes, bits 2-10 types; 2047 selects everything.
constexpr int kAllHistoryTypes = 2047;

struct HistoryEntry {
    std::string text; // empty for an unused entry
    int code = 0;
    std::int64_t time = 0; // seconds since 1970
};

// The file takes an event when its type is selected and the mask's outcome bits are both set or equal the
// event's outcome.
bool LogTypesSelect(int logTypes, int code);
// The History window lists an event when its type is selected and the mask's outcome bits are both set or
// share a bit with the event's outcome.
bool ViewTypesSelect(int viewTypes, int code);
// The text above the History list that says what the view mask shows.
std::string ViewFilterDescription(int viewTypes);
// The history change counter after c: it counts up to 0x7ffffffe and then starts again at 0.
std::uint32_t NextChangeCount(std::uint32_t c);
// "dd/mm/yyyy hh:mm:ss" in local time: the server's one way of writing a time, in the history log, in the user
// rows' logon and logoff columns and in the settings file's [Info] Started and Stopped.
std::string FormatEventTime(std::int64_t time);
// Text fit for one line of the log: every control character (CR and LF among them) becomes '?', so that a
// name or a path from the line can never end an event's line and begin a made-up one.
std::string PlainText(std::string text);

class HistoryLog {
public:
    static constexpr int kEntries = 100;
    using Entries = std::array<HistoryEntry, kEntries>;
    struct SessionNames {
        std::string userName;
        std::string fullName;
    };

    HistoryLog();

    // All entries cleared, change counter back to 1.
    void Clear();
    // The one entry point for events, from either thread.
    void LogHistoryEvent(const std::string& message, int code);

    // Oldest first; the newest is the last entry.
    Entries Snapshot() const;
    std::uint32_t ChangeCounter() const { return changeCounter_.load(); }

    // Zero-based port number for the "COM<n>" label, -1 when there is none.
    std::atomic<int> PortNumber{-1};
    std::atomic<int> LogTypes{kAllHistoryTypes};
    std::atomic<int> ViewTypes{kAllHistoryTypes};
    // 1 = logging to LogFile is on.
    std::atomic<int> LogStatus{0};
    void SetLogFile(std::string path);
    std::string LogFile() const;

    // Where events are forwarded, and who the current session's user is when they are.
    void SetCommonLogger(CommonLoggerLink* logger, std::function<SessionNames()> sessionNames);
    // Time source for events (seconds since 1970); the system clock unless a test sets another.
    void SetClock(std::function<std::int64_t()> now);

private:
    void appendToFile(const std::string& text, int code, std::int64_t time);

    mutable std::mutex ringMutex_;
    Entries ring_;
    std::atomic<std::uint32_t> changeCounter_{1};

    mutable std::mutex settingsMutex_;
    std::string logFile_;
    CommonLoggerLink* commonLogger_ = nullptr;
    std::function<SessionNames()> sessionNames_;
    std::function<std::int64_t()> now_;

    // Keeps the lines of two threads from interleaving in the file.
    std::mutex fileMutex_;
};

} // namespace comms
