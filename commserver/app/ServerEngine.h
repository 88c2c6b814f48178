#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "commserver/HistoryLog.h"
#include "commserver/LinkLayer.h"
#include "commserver/LinkServer.h"
#include "commserver/WorkerRequest.h"
#include "commserver/app/ServerSettings.h"

// What the server's windows need of the link engine: start and stop its worker thread, ask it to reopen the
// port, and read what it shows (status, counters, modem lines, throughput, the transfer and the sessions).
// The engine's worker calls the notification hooks on its own thread; the window side queues its work. The
// status and the requests are the engine's own codes (comms::LinkStatus, comms::WorkerRequest).
namespace quendar {

// A UserSession record as it travels in the status reply.
using UserSessionBytes = std::array<std::uint8_t, comms::kUserSessionSize>;

struct TransferView {
    std::string fileName;
    std::uint32_t mode = 0;
    std::uint32_t size = 0;
    std::uint32_t bytesReceived = 0;
    std::uint32_t bytesSent = 0;
    std::uint32_t nextBlock = 0;
    std::uint32_t subState = 0;
    bool completed = false;
};

// A consistent copy of what the worker keeps for the displays.
struct EngineView {
    TransferView transfer;
    UserSessionBytes currentSession{};
    UserSessionBytes lastSession{};
};

class ServerEngine {
public:
    virtual ~ServerEngine() = default;

    // Takes the settings over: port, special mode, timers, test modes, phantom DSR, modem, security level.
    virtual void Configure(const ServerSettings& settings) = 0;
    // Opens the user table of that folder (security levels 1 and 2), closing the one open before. The engine
    // serialises this with its worker's own use of the table.
    virtual void LoadUserTables(const std::string& folder, int securityLevel) = 0;
    virtual void CloseUserTables() = 0;
    // 0 security off, 1 user tables open, 2 security on but the tables missing.
    virtual int SecurityState() const = 0;

    // Starts the worker and asks it to open the port.
    virtual void Start() = 0;
    // Asks the worker to quit and waits at most timeoutMs for it to end; true once it has ended and been joined.
    virtual bool Stop(int timeoutMs) = 0;
    // One of comms::WorkerRequest's requests.
    virtual void PostRequest(int request) = 0;

    // One of comms::LinkStatus's values, as the worker last posted it.
    virtual int UiStatus() const = 0;
    virtual void SetNotificationFlag(bool on) = 0;
    // Called on the worker thread when the status or a transfer's progress changed.
    virtual void SetNotify(std::function<void()> notify) = 0;
    // Called on the worker thread when bytes moved on the line (the tray icon animates).
    virtual void SetActivity(std::function<void()> activity) = 0;

    virtual comms::LinkLayer& Link() = 0;
    // Last modem-line sample (CTS 0x10, DSR 0x20, RING 0x40, DCD 0x80).
    virtual int ModemSample() const = 0;
    // Bytes received and sent, one total per second over the last five seconds, oldest first.
    virtual std::array<std::uint32_t, 5> RxHistory() const = 0;
    virtual std::array<std::uint32_t, 5> TxHistory() const = 0;
    // The clock second (seconds since 1970) at which the histories last rolled on; 0 before the port opened.
    virtual std::uint32_t HistorySecond() const = 0;
    // Zeroes both histories (with the counters, the throughput starts again from nothing).
    virtual void ResetHistories() = 0;
    virtual std::array<std::uint32_t, 9> SecurityCounters() const = 0;
    virtual EngineView View() const = 0;
    // The current session's user, for the events forwarded to the common logger.
    virtual comms::HistoryLog::SessionNames SessionNames() const = 0;
};

} // namespace quendar
