#pragma once
#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/WindowMessages.h"

// The link to the outside common logger program, which collects the events of several servers. It is found by
// its window title and given each event as a fixed 396-byte record; when it is not running the event is lost
// for it alone. The logger program itself is not part of this system.
namespace comms {

constexpr int kHistoryEventRecordSize = 396;
using HistoryEventRecord = std::array<std::uint8_t, kHistoryEventRecordSize>;

// The record for one event. Names longer than 30 characters are sent as "Unknown"; a message is cut to 255
// bytes; the port label is left empty when there is no port or it does not fit its field.
HistoryEventRecord BuildHistoryEventRecord(const std::string& message, int code, const std::string& userName,
                                           const std::string& fullName, int portNumber, std::int64_t eventTime,
                                           int milliseconds, const std::string& computerName);
// This machine's name, at most 15 characters; "Unknown" when it cannot be read.
std::string ComputerName();

class CommonLoggerLink {
public:
    static constexpr const char* kWindowTitle = "QUARN Common Logger";
    static constexpr const char* kProgramName = "QuendarCommonLogger.Exe";
    // Starts a program without waiting for it; false when it could not be started.
    using ProgramStarter = std::function<bool(const std::string& program, const std::string& workingFolder)>;

    CommonLoggerLink();
    ~CommonLoggerLink();
    CommonLoggerLink(const CommonLoggerLink&) = delete;
    CommonLoggerLink& operator=(const CommonLoggerLink&) = delete;

    // The link is on when the installation names the logger's program folder or its database folder.
    // dontStart: the command line asked not to start the logger when it is not running.
    void Configure(const std::string& exePath, const std::string& databasePath, bool dontStart);
    bool LinkOn() const;
    // The server's own window, sent as wParam with each record.
    void SetServerWindow(plat::winmsg::WindowHandle window);
    void SetProgramStarter(ProgramStarter starter);
    void SetSendTimeout(int milliseconds);

    // Finds the logger's window, starting the logger program once when it is not there.
    void ConnectCommonLogger();
    // Sends the event's record; when the logger does not accept it, looks for the window again and, if there
    // is one, sends once more. True when the logger accepted the record.
    bool SendToCommonLogger(const std::string& message, int code, const std::string& userName,
                            const std::string& fullName, int portNumber, std::int64_t eventTime);
    bool LoggerMissing() const;

    // Queues the event for a sender thread of the link's own and returns at once, so that a logger that hangs
    // or is slow never holds up whoever logged the event (the worker in the middle of a transfer). When the
    // queue is full the oldest queued event is dropped for the logger alone.
    void Forward(const std::string& message, int code, const std::string& userName, const std::string& fullName,
                 int portNumber, std::int64_t eventTime);
    // Waits at most timeoutMs until every queued event has been handed over (or given up); true when it has.
    bool Flush(int timeoutMs);
    static constexpr std::size_t kQueueLimit = 1000;

private:
    struct Queued {
        std::string message;
        int code;
        std::string userName;
        std::string fullName;
        int portNumber;
        std::int64_t eventTime;
    };
    plat::winmsg::WindowHandle findLogger() const;
    void senderLoop();

    mutable std::mutex mutex_;
    bool linkOn_ = false;
    std::string exePath_;
    std::string databasePath_;
    bool dontStart_ = false;
    plat::winmsg::WindowHandle serverWindow_ = 0;
    plat::winmsg::WindowHandle loggerWindow_ = 0;
    bool loggerMissing_ = true;
    int sendTimeoutMs_ = 2000;
    ProgramStarter starter_;
    std::string computerName_;

    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<Queued> queue_;
    bool sending_ = false;
    bool stopping_ = false;
    std::thread sender_;
};

} // namespace comms
