#include "commserver/LinkServer.h"
#include "commserver/RequestText.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

#include <sys/random.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/SerialPort.h"

namespace comms {

namespace {

using Code = int;
namespace EC = HistoryEventCode;

// The server whose worker runs on this thread, for the serial layer's idle routine.
thread_local LinkServer* tl_worker = nullptr;
thread_local bool* tl_abortOnQuit = nullptr;
thread_local WorkerRequest* tl_request = nullptr;

int workerIdle() {
    // A quit asked for while the port opens ends the modem dialogue at once instead of after every command's
    // response delay.
    if (tl_worker && tl_abortOnQuit && *tl_abortOnQuit && tl_request && tl_request->Peek() == WorkerRequest::Quit)
        return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
}

std::uint32_t getU32(std::span<const std::uint8_t> p, std::size_t at) {
    return static_cast<std::uint32_t>(p[at]) | (static_cast<std::uint32_t>(p[at + 1]) << 8) |
           (static_cast<std::uint32_t>(p[at + 2]) << 16) | (static_cast<std::uint32_t>(p[at + 3]) << 24);
}

} // namespace

std::uint32_t PrimaryResponse(const std::string& password, const std::array<std::uint8_t, 30>& challenge) {
    std::uint32_t sum = 0;
    // The challenge has 30 bytes; a longer password (a wide column of a table made elsewhere) stops there.
    for (std::size_t i = 0; i < password.size() && i < challenge.size(); ++i)
        sum += static_cast<std::uint32_t>(std::toupper(static_cast<unsigned char>(password[i]))) * challenge[i];
    return sum;
}

std::uint32_t SecondaryResponse(const std::string& psw2, const std::array<std::uint8_t, 30>& challenge) {
    const std::uint32_t c = Crc16(reinterpret_cast<const std::uint8_t*>(psw2.data()), psw2.size());
    return (((((c << 3) | challenge[3]) << 6) + challenge[5]) << 6) | challenge[9];
}

#define VORD_HANDLER(name) [](LinkServer& s) { s.name(); }
const LinkServer::Handler LinkServer::kEnter[kLinkStateCount] = {
    VORD_HANDLER(enterIdle),       VORD_HANDLER(enterFileReceive),   VORD_HANDLER(enterFileSend),
    VORD_HANDLER(enterClockSet),   VORD_HANDLER(enterProgramRun),    VORD_HANDLER(enterFileDelete),
    VORD_HANDLER(enterFileMove),   VORD_HANDLER(enterSetOptions),    VORD_HANDLER(enterConnect),
    VORD_HANDLER(enterDisconnect), VORD_HANDLER(enterSecurityAbort), VORD_HANDLER(enterFileInfo),
};
const LinkServer::Handler LinkServer::kRun[kLinkStateCount] = {
    VORD_HANDLER(runIdle),    VORD_HANDLER(runFileReceive), VORD_HANDLER(runFileSend),      VORD_HANDLER(runAckOnly),
    VORD_HANDLER(runAckOnly), VORD_HANDLER(runAckOnly),     VORD_HANDLER(runAckOnly),       VORD_HANDLER(runAckOnly),
    VORD_HANDLER(runConnect), VORD_HANDLER(runDisconnect),  VORD_HANDLER(runSecurityAbort), VORD_HANDLER(runAckOnly),
};
const LinkServer::Handler LinkServer::kLeave[kLinkStateCount] = {
    VORD_HANDLER(leaveNone),       VORD_HANDLER(leaveFileReceive),   VORD_HANDLER(leaveFileSend),
    VORD_HANDLER(leaveNone),       VORD_HANDLER(leaveNone),          VORD_HANDLER(leaveNone),
    VORD_HANDLER(leaveNone),       VORD_HANDLER(leaveNone),          VORD_HANDLER(leaveConnect),
    VORD_HANDLER(leaveDisconnect), VORD_HANDLER(leaveSecurityAbort), VORD_HANDLER(leaveNone),
};
#undef VORD_HANDLER

LinkServer::LinkServer(HistoryLog& history, UserTables& users, LinkClock& clock)
    : history_(history), users_(users), clock_(clock), link_(clock) {
    portOpener_ = [](int portNumber, long baud) { return plat::PortOpen(portNumber, baud, 'N', 8, 1); };
    writer_ = [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); };
    syncer_ = [](int fd) { return ::fsync(fd); };
    link_.SetHangUpModem([this] { HangUpModem(); });
}

LinkServer::~LinkServer() {
    // Every wait of the worker is bounded, so a worker that outlives the quit's wait still ends: it is waited
    // for rather than left running on a destroyed object.
    if (thread_.joinable() && !Stop())
        thread_.join();
    closeTransferFile();
}

void LinkServer::SetPortNumber(int portNumber) {
    // Port numbers beyond the 35 that the settings offer would not fit the fields that name the port.
    portNumber_.store(portNumber >= 0 && portNumber <= 34 ? portNumber : -1);
}

void LinkServer::SetModemSettings(const ModemSettings& modem) {
    std::lock_guard lock(settingsMutex_);
    modemSettings_ = modem;
}

void LinkServer::SetModemSettingsSource(std::function<ModemSettings()> source) {
    std::lock_guard lock(settingsMutex_);
    modemSource_ = std::move(source);
}

void LinkServer::SetPortOpener(PortOpener opener) {
    std::lock_guard lock(settingsMutex_);
    portOpener_ = std::move(opener);
}

void LinkServer::SetNotify(std::function<void()> notify) {
    std::lock_guard lock(settingsMutex_);
    notify_ = std::move(notify);
}

void LinkServer::SetActivity(std::function<void()> activity) {
    std::lock_guard lock(settingsMutex_);
    activity_ = std::move(activity);
}

void LinkServer::SetFileWriter(FileWriter writer) {
    std::lock_guard lock(settingsMutex_);
    writer_ = std::move(writer);
}

void LinkServer::SetFileSyncer(FileSyncer syncer) {
    std::lock_guard lock(settingsMutex_);
    syncer_ = std::move(syncer);
}

ServerSnapshot LinkServer::Snapshot() const {
    std::lock_guard lock(sharedMutex_);
    return published_;
}

std::array<std::uint32_t, 5> LinkServer::RxHistory() const {
    std::lock_guard lock(sharedMutex_);
    return rxHistory_;
}

std::array<std::uint32_t, 5> LinkServer::TxHistory() const {
    std::lock_guard lock(sharedMutex_);
    return txHistory_;
}

void LinkServer::ResetHistories() {
    {
        std::lock_guard lock(sharedMutex_);
        rxHistory_.fill(0);
        txHistory_.fill(0);
    }
    link_.statistics.BumpChangeCount();
}

HistoryLog::SessionNames LinkServer::SessionNames() const {
    std::lock_guard lock(sharedMutex_);
    return {published_.current.user.userName, published_.current.user.fullName};
}

void LinkServer::publish() {
    std::lock_guard lock(sharedMutex_);
    published_.state = state_;
    published_.current = session_;
    published_.last = lastSession_;
    published_.transfer = transfer_;
}

void LinkServer::logEvent(const std::string& text, int code) {
    publish();
    history_.LogHistoryEvent(text, code);
}

int LinkServer::reply(int type, const std::uint8_t* payload, int length) {
    return link_.SendFrame(type, payload, length);
}

// ---------------------------------------------------------------------------------------------------------
// The thread

void LinkServer::Start() {
    if (thread_.joinable())
        return;
    workerEnded_ = false;
    thread_ = std::thread([this] { LinkThreadMain(); });
}

bool LinkServer::Stop(int timeoutMs) {
    if (!thread_.joinable())
        return true;
    request_.Post(WorkerRequest::Quit);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!workerEnded_.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!workerEnded_.load())
        return false;
    thread_.join();
    return true;
}

void LinkServer::BeginWorker() {
    tl_worker = this;
    tl_abortOnQuit = &abortWaitsOnQuit_;
    tl_request = &request_;
    plat::SetIdleRoutine(workerIdle);
    // What a server that died during a transfer left half done (a partial upload, a file locked while it was
    // sent, half an appendix) is undone before the first request is taken.
    journal_.Open(paths_.ServerFolder());
    state_ = LinkState::Idle;
    linkState_ = 0;
    SetLinkState(LinkState::Idle);
    link_.ResetReceiver();
    link_.ResetLinkStatistics();
    transfer_ = TransferInfo{};
    link_.ResetLineErrorCounts();
    publish();
}

void LinkServer::EndWorker() {
    SetLinkState(LinkState::Idle);
    CloseModemAndPort();
    PostLinkStatus(LinkStatus::ClosingDown);
    reapChildren();
    journal_.Close();
    publish();
    tl_worker = nullptr;
    tl_abortOnQuit = nullptr;
    tl_request = nullptr;
    workerEnded_ = true;
}

int LinkServer::LinkThreadMain() {
    BeginWorker();
    std::uint64_t moved = 0;
    while (RunCycle()) {
        // A cycle that moved bytes is followed at once by the next: the line sets the pace of a transfer, not
        // the worker's sleep.
        const std::uint64_t nowMoved = static_cast<std::uint64_t>(link_.statistics.Get(LinkCounter::RxBytes)) +
                                       link_.statistics.Get(LinkCounter::TxBytes);
        const bool progressed = nowMoved != moved;
        moved = nowMoved;
        if (progressed && state_ != LinkState::Idle) {
            std::this_thread::yield();
        } else if (state_ != LinkState::Idle) {
            sleepCycle(10);
        } else {
            IdlePoll();
            sleepCycle(200);
        }
    }
    EndWorker();
    return 0;
}

void LinkServer::sleepCycle(int ms) {
    // Wakes early for received bytes or a request, so that an operation runs at the line's pace and a quit
    // is seen at once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (request_.Peek() != WorkerRequest::None)
            return;
        if (port_ && port_->RxUsed() > 0)
            return;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

bool LinkServer::RunCycle() {
    const int request = request_.Take();
    if (request == WorkerRequest::Quit)
        return false;
    const bool sessionOpen = session_.active && session_.state != SessionState::Ended;
    if (request == WorkerRequest::Reopen ||
        (request == WorkerRequest::ReopenWhenAllowed && (modemSample_.load() & plat::kModemDcd) == 0 && !sessionOpen)) {
        // An operation under way ends while its port is still there, so that its end is told as it happened.
        SetLinkState(LinkState::Idle);
        CloseModemAndPort();
        OpenPortAndInitModem();
        SetLinkState(LinkState::Idle);
    }
    reapChildren();
    if (!port_) {
        publish();
        return true;
    }

    kRun[static_cast<int>(state_)](*this);
    if (!port_) {
        publish();
        return true;
    }

    const int lines = port_->ModemStatus();
    if (lines >= 0 && lines != modemSample_.load()) {
        const int before = modemSample_.load();
        if ((before & plat::kModemDcd) && !(lines & plat::kModemDcd) && session_.active &&
            session_.state != SessionState::Ended)
            EndSession();
        modemSample_.store(lines);
        link_.statistics.BumpChangeCount();
    }

    const std::int64_t t = now();
    const std::int64_t lastRoll = historySecond_.load();
    if (t != lastRoll) {
        const std::int64_t elapsed = lastRoll == 0 ? 1 : std::max<std::int64_t>(1, t - lastRoll);
        historySecond_.store(t);
        std::uint32_t rx = 0;
        std::uint32_t tx = 0;
        {
            // The counters are read under the histories' lock: a window's Reset of the counters and then of the
            // histories cannot fall between the read and the store and leave a stale total in the newest slot.
            std::lock_guard lock(sharedMutex_);
            rx = link_.statistics.Get(LinkCounter::RxBytes);
            tx = link_.statistics.Get(LinkCounter::TxBytes);
            std::rotate(rxHistory_.begin(), rxHistory_.begin() + 1, rxHistory_.end());
            std::rotate(txHistory_.begin(), txHistory_.begin() + 1, txHistory_.end());
            rxHistory_[4] = rx;
            txHistory_[4] = tx;
        }
        const std::uint64_t total = static_cast<std::uint64_t>(rx) + tx;
        if (total != trayTotal_) {
            trayTotal_ = total;
            std::function<void()> activity;
            {
                std::lock_guard lock(settingsMutex_);
                activity = activity_;
            }
            if (activity)
                activity();
        }
        link_.statistics.BumpChangeCount();
        if (session_.state == SessionState::Connected) {
            session_.secondsConnected += static_cast<std::uint32_t>(elapsed);
            security_[static_cast<std::size_t>(SecurityCounter::SecondsConnected)].fetch_add(
                static_cast<std::uint32_t>(elapsed), std::memory_order_relaxed);
        }
    }
    publish();
    return true;
}

void LinkServer::IdlePoll() {
    if (lastOperationTime_ != 0 && now() > lastOperationTime_ + 10) {
        if (state_ == LinkState::Idle)
            PostLinkStatus(LinkStatus::Ready);
        lastOperationTime_ = 0;
    }
}

void LinkServer::reapChildren() {
    // Programs started without waiting are collected here, so none lingers as a zombie.
    children_.erase(std::remove_if(children_.begin(), children_.end(),
                                   [](pid_t pid) {
                                       int status = 0;
                                       const pid_t r = ::waitpid(pid, &status, WNOHANG);
                                       return r == pid || r < 0;
                                   }),
                    children_.end());
}

// ---------------------------------------------------------------------------------------------------------
// States and status

void LinkServer::SetLinkState(LinkState state) {
    kLeave[static_cast<int>(state_)](*this);
    state_ = state;
    linkState_.store(static_cast<int>(state));
    kEnter[static_cast<int>(state)](*this);
}

void LinkServer::PostLinkStatus(int status) {
    if (status == -1)
        return;
    uiStatus_.store(status);
    publish();
    if (notificationFlag_.load()) {
        std::function<void()> notify;
        {
            std::lock_guard lock(settingsMutex_);
            notify = notify_;
        }
        if (notify)
            notify();
    }
}

void LinkServer::NotifyProgress() {
    if (!notificationFlag_.exchange(false))
        return;
    publish();
    std::function<void()> notify;
    {
        std::lock_guard lock(settingsMutex_);
        notify = notify_;
    }
    if (notify)
        notify();
}

// ---------------------------------------------------------------------------------------------------------
// Port and modem

bool LinkServer::sendModemString(const std::string& command) {
    // The line before a command may have left a failure in the port's status; each command starts clean.
    port_->ClearStatus();
    for (int waited = 0; waited < modem_.interCommandDelayMs; waited += 10) {
        if (abortWaitsOnQuit_ && quitRequested())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, modem_.interCommandDelayMs - waited)));
    }
    if (plat::WriteStringTerm(*port_, command.c_str(), '\r') < 0)
        return false;
    link_.statistics.Add(LinkCounter::TxBytes, static_cast<std::uint32_t>(command.size() + 1));
    // Lines are read until one says OK: an echo of the command or a blank line may come first.
    for (int lines = 0; lines < 64; ++lines) {
        char line[256];
        const int r = plat::ReadLineTimed(*port_, line, sizeof line, '\r', modem_.responseDelayMs);
        if (r < 0)
            return false;
        link_.statistics.Add(LinkCounter::RxBytes, static_cast<std::uint32_t>(std::strlen(line) + 1));
        if (std::strstr(line, "OK"))
            return true;
    }
    return false;
}

void LinkServer::OpenPortAndInitModem() {
    long baud;
    switch (comms_.load()) {
    case 1:
    case 2:
        baud = 9600;
        break;
    case 3:
        baud = 38400;
        break;
    case 4:
        baud = 57600;
        break;
    default:
        baud = 19200;
        break;
    }
    PortOpener opener;
    {
        std::lock_guard lock(settingsMutex_);
        modem_ = modemSource_ ? modemSource_() : modemSettings_;
        opener = portOpener_;
    }
    if (modem_.type != 0)
        baud = modem_.baud;
    link_.ModemInUse = modem_.type != 0;
    link_.timers.InactivityHangUp = modem_.inactivityHangUpS;

    const int portNumber = portNumber_.load();
    if (portNumber < 0) {
        PostLinkStatus(LinkStatus::NoPort);
        return;
    }
    history_.PortNumber = portNumber;
    previousPort_ = portNumber;
    plat::SerialPort* port = opener(portNumber, baud);
    if (!port || port->status() != 0) {
        // Only the port object goes: a port that never opened has no modem to hang up or de-initialise.
        if (port)
            port->Close();
        logEvent("Com Port Open Failed", EC::Initialise | EC::Failure);
        PostLinkStatus(LinkStatus::OpenFailed);
        return;
    }
    port_ = port;
    port_->SetHardwareHandshake(true);
    port_->SetSoftwareHandshake(false);
    link_.SetPort(port_);
    {
        std::lock_guard lock(sharedMutex_);
        rxHistory_.fill(0);
        txHistory_.fill(0);
    }
    for (int i = 0; i < 5; ++i)
        link_.statistics.BumpChangeCount();
    historySecond_.store(now());
    modemSample_.store(port_->ModemStatus() < 0 ? 0 : port_->ModemStatus());
    logEvent("Com Port Opened OK", EC::Initialise | EC::Success);

    if (modem_.type != 0) {
        PostLinkStatus(LinkStatus::ModemInitialise);
        abortWaitsOnQuit_ = true;
        for (const auto& command : modem_.init) {
            if (command.empty())
                continue;
            if (!sendModemString(command)) {
                abortWaitsOnQuit_ = false;
                logEvent(format("Modem Init Failed: %s", command), EC::Initialise | EC::Failure);
                CloseModemAndPort();
                PostLinkStatus(LinkStatus::OpenFailed);
                return;
            }
        }
        abortWaitsOnQuit_ = false;
        logEvent("Modem Initialised", EC::Initialise | EC::Success);
    }
    PostLinkStatus(LinkStatus::Ready);
}

void LinkServer::CloseModemAndPort() {
    if (!port_)
        return;
    if (modem_.type != 0) {
        const int remembered = uiStatus_.load();
        PostLinkStatus(LinkStatus::ModemDeInitialise);
        HangUpModem();
        bool ok = true;
        for (const auto& command : modem_.deInit) {
            if (command.empty())
                continue;
            if (!sendModemString(command)) {
                logEvent(format("Modem De-Init Failed: %s", command), EC::Initialise | EC::Failure);
                ok = false;
                break;
            }
        }
        if (ok)
            logEvent("Modem De-Initialised", EC::Initialise | EC::Success);
        PostLinkStatus(remembered);
    }
    closeTransferFile();
    link_.SetPort(nullptr);
    port_->Close();
    port_ = nullptr;
    history_.PortNumber = previousPort_;
    logEvent("Com Port Closed", EC::Initialise | EC::Neither);
}

void LinkServer::HangUpModem() {
    if (!port_ || modem_.type == 0 || plat::DcdOn(*port_) <= 0)
        return;
    port_->SetDtr(false);
    const std::int64_t start = now();
    // Bounded by rounds as well as by the clock, so a clock that stands still cannot hold the worker.
    const int rounds = (std::max(0, modem_.hangUpTimeOutS) + 2) * 10;
    // A quit does not wait for the carrier to go: DTR is down, the modem hangs up by itself.
    for (int i = 0;
         i < rounds && plat::DcdOn(*port_) > 0 && now() <= start + modem_.hangUpTimeOutS + 1 && !quitRequested(); ++i)
        clock_.SleepMs(100);
    clock_.SleepMs(100);
    port_->SetDtr(true);
}

void LinkServer::LinkFailure() {
    if (port_ && plat::CtsOn(*port_) == 0)
        port_->ClearTxBuffer();
    addStat(LinkCounter::FailedLinks);
    lastOperationTime_ = now();
    EndSession();
}

void LinkServer::abandonLink() {
    SetLinkState(LinkState::Idle);
    PostLinkStatus(LinkStatus::LinkFailed);
    LinkFailure();
}

void LinkServer::EndSession() {
    lastSession_ = session_;
    session_.state = SessionState::Ended;
    publish();
    HangUpModem();
}

// ---------------------------------------------------------------------------------------------------------
// Idle and the one-shot operations

void LinkServer::enterIdle() {
    link_.ResetReceiver();
}

void LinkServer::runIdle() {
    if (securityLevel_.load() != 0 && session_.state == SessionState::Connected &&
        session_.user.maxConnectMinutes != 0 &&
        session_.secondsConnected > static_cast<std::uint32_t>(session_.user.maxConnectMinutes) * 60U) {
        logEvent(format("User Connect Time Limit Exceeded: %s (%s)", session_.user.userName, session_.user.fullName),
                 EC::Connects | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    if (link_.ReceiveFrame() != kLinkOk)
        return;
    switch (link_.ReceivedFrameType()) {
    case FrameType::FileReceive:
        SetLinkState(LinkState::FileReceive);
        break;
    case FrameType::FileSend:
        SetLinkState(LinkState::FileSend);
        break;
    case FrameType::ClockRequest:
        SetLinkState(LinkState::ClockSet);
        break;
    case FrameType::ProgramRun:
        SetLinkState(LinkState::ProgramRun);
        break;
    case FrameType::FileDelete:
        SetLinkState(LinkState::FileDelete);
        break;
    case FrameType::FileMove:
        SetLinkState(LinkState::FileMove);
        break;
    case FrameType::SetOptions:
        SetLinkState(LinkState::SetOptions);
        break;
    case FrameType::Connect:
        SetLinkState(LinkState::Connect);
        break;
    case FrameType::Disconnect:
        SetLinkState(LinkState::Disconnect);
        break;
    case FrameType::FileInfo:
        SetLinkState(LinkState::FileInfo);
        break;
    default:
        addStat(LinkCounter::ProtocolErrors);
        link_.ResetReceiver();
        break;
    }
}

void LinkServer::ackWait(const std::function<void()>& onOk, const char* linkFailEvent, int linkFailCode) {
    const int r = link_.WaitForAck();
    if (r == kLinkOk) {
        SetLinkState(LinkState::Idle);
        if (onOk)
            onOk();
    } else if (r == kLinkTimerExpired || r == kLinkLineLost) {
        abandonLink();
        if (linkFailEvent)
            logEvent(linkFailEvent, linkFailCode);
    }
}

void LinkServer::runAckOnly() {
    // The handler may be replaced by the success step itself, so it is copied first.
    const auto ok = oneShotOk_;
    ackWait(ok, oneShotLinkFail_, oneShotLinkFailCode_);
}

void LinkServer::refuseBadRequest(const std::string& event, int code, std::optional<LinkCounter> failure) {
    addStat(LinkCounter::ProtocolErrors);
    if (failure)
        addStat(*failure);
    logEvent(event, code);
    oneShotOk_ = nullptr;
    reply(FrameType::Failed);
}

int LinkServer::CheckUserConnected() {
    if (securityLevel_.load() == 0 || session_.state == SessionState::Connected)
        return 1;
    logEvent("Security Violation: User Not Connected", EC::Security | EC::Failure);
    return 0;
}

ResolvedPath LinkServer::CheckPathAllowed(const std::string& path) const {
    ResolvedPath r = paths_.Resolve(path, rights());
    // The server's hidden working files (an upload not yet whole, its journal) are nobody's to read or change.
    if (r.ok()) {
        const std::size_t slash = r.local.rfind('/');
        if (IsServerWorkFile(slash == std::string::npos ? r.local : r.local.substr(slash + 1)))
            return {PathRefusal::ServerFile, {}};
    }
    return r;
}

PathRights LinkServer::rights() const {
    PathRights r;
    r.check = securityLevel_.load() != 0 && session_.state == SessionState::Connected;
    r.unc = session_.user.uncAllowed;
    r.otherDirs = session_.user.otherDirsAllowed;
    r.noDollar = session_.user.noDollarNames;
    r.netDrives = session_.user.netDrivesAllowed;
    return r;
}

void LinkServer::countRefusal(PathRefusal refusal) {
    switch (refusal) {
    case PathRefusal::Unc:
        addSecurity(SecurityCounter::UncRefusals);
        break;
    case PathRefusal::OtherDir:
    case PathRefusal::Outside:
        addSecurity(SecurityCounter::OtherDirRefusals);
        break;
    case PathRefusal::Dollar:
        addSecurity(SecurityCounter::DollarRefusals);
        break;
    case PathRefusal::NetDrive:
        addSecurity(SecurityCounter::NetDriveRefusals);
        break;
    default:
        break;
    }
}

void LinkServer::enterSetOptions() {
    const auto p = link_.ReceivedPayload();
    oneShotLinkFail_ = nullptr;
    if (p.size() < 2) {
        refuseBadRequest("Set Options Failed: Bad Request", EC::Security | EC::Failure, std::nullopt);
        return;
    }
    options_ = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    oneShotOk_ = nullptr;
    reply(FrameType::Done);
}

// ---------------------------------------------------------------------------------------------------------
// Logon

void LinkServer::enterConnect() {
    const auto p = link_.ReceivedPayload();
    std::string name;
    const bool clean = parseName(p, name);
    session_.nameReceived = name.substr(0, 31);
    if (name.empty()) {
        logEvent("No Username provided by remote unit", EC::Connects | EC::Security | EC::Failure);
        session_.state = SessionState::None;
        reply(FrameType::Failed);
        return;
    }
    session_.active = true;
    session_.user = UserRecord{};
    session_.secondsConnected = 0;
    UserRecord user;
    // A name that cannot be a user's (too long for the table, or with a second name behind a NUL) is looked
    // up nowhere.
    if (!clean || name.size() > static_cast<std::size_t>(kUserKeyLength) || users_.FindUser(name, user) != 1) {
        logEvent(format("No User Tables Entry: %s", name), EC::Connects | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    session_.user = user;
    if (!user.enabled || user.disabled) {
        logEvent(format("Account Disabled: %s (%s)", user.userName, user.fullName),
                 EC::Connects | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    std::uint8_t random[30] = {};
    std::size_t got = 0;
    while (got < sizeof random) {
        const ssize_t n = ::getrandom(random + got, sizeof random - got, 0);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    for (std::size_t i = 0; i < challenge_.size(); ++i) {
        const std::uint8_t v = random[i] & 0x7F;
        challenge_[i] = v == 0 ? 99 : v;
    }
    session_.expectedResponse = PrimaryResponse(user.password, challenge_);
    session_.secondaryCurrentValid = session_.secondaryPreviousValid = false;
    if (securityLevel_.load() == 2) {
        if (!user.psw2Current.empty()) {
            session_.expectedSecondaryCurrent = SecondaryResponse(user.psw2Current, challenge_);
            session_.secondaryCurrentValid = true;
        }
        if (!user.psw2Previous.empty()) {
            session_.expectedSecondaryPrevious = SecondaryResponse(user.psw2Previous, challenge_);
            session_.secondaryPreviousValid = true;
        }
    }
    session_.state = SessionState::ChallengeSent;
    reply(FrameType::Challenge, challenge_.data(), static_cast<int>(challenge_.size()));
}

void LinkServer::writeUserRecord(const std::function<void(UserRecord&)>& change) {
    UserRecord fresh;
    if (users_.UpdateUserRecord(session_.user, change, &fresh)) {
        // The bookkeeping as it now stands on disk; the session's rights stay as the logon found them.
        session_.user.consecutiveFailures = fresh.consecutiveFailures;
        session_.user.connectCount = fresh.connectCount;
        session_.user.disabled = fresh.disabled;
        session_.user.lastConnect = fresh.lastConnect;
        session_.user.lastDisconnect = fresh.lastDisconnect;
    }
}

void LinkServer::runConnect() {
    auto connectLinkFailure = [this] {
        abandonLink();
        logEvent(format("Link Failure during Connect: %s", session_.nameReceived),
                 EC::Connects | EC::Security | EC::Failure);
    };
    switch (session_.state) {
    case SessionState::None: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            SetLinkState(LinkState::Idle);
            PostLinkStatus(LinkStatus::LinkFailed);
        } else if (r < 0) {
            connectLinkFailure();
        }
        break;
    }
    case SessionState::ChallengeSent: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            session_.state = SessionState::AwaitingResponse;
            link_.ResetReceiver();
        } else if (r < 0) {
            abandonLink();
        }
        break;
    }
    case SessionState::AwaitingResponse: {
        const int r = link_.AwaitFrame();
        if (r < 0) {
            connectLinkFailure();
            break;
        }
        if (r != kLinkOk)
            break;
        const auto p = link_.ReceivedPayload();
        if (link_.ReceivedFrameType() != FrameType::Response || p.size() < 4) {
            PostLinkStatus(LinkStatus::LinkFailed);
            addStat(LinkCounter::ProtocolErrors);
            reply(FrameType::ProtocolError);
            session_.state = SessionState::None;
            break;
        }
        const std::uint32_t response = getU32(p, 0);
        const bool primaryOk = response == session_.expectedResponse;
        bool accepted = primaryOk;
        if (securityLevel_.load() == 2) {
            accepted = false;
            if (primaryOk && p.size() >= 8) {
                const std::uint32_t secondary = getU32(p, 4);
                accepted = (session_.secondaryCurrentValid && secondary == session_.expectedSecondaryCurrent) ||
                           (session_.secondaryPreviousValid && secondary == session_.expectedSecondaryPrevious);
            }
        }
        if (accepted) {
            session_.state = SessionState::Accepted;
            reply(FrameType::Done);
            break;
        }
        addSecurity(SecurityCounter::PasswordFailures);
        const UserRecord& u = session_.user;
        logEvent(format(securityLevel_.load() == 2 && primaryOk ? "Secondary Password Failure: %s (%s)"
                                                                : "Password Failure: %s (%s)",
                        u.userName, u.fullName),
                 EC::Connects | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        const int threshold = session_.user.autoDisable;
        bool autoDisabled = false;
        // The failure count is taken from the row as it is under the lock, so failures from two servers or
        // an administrator's reset in between are not lost.
        writeUserRecord([&](UserRecord& row) {
            row.consecutiveFailures += 1;
            if (threshold != 0 && row.consecutiveFailures > threshold && !row.disabled) {
                row.disabled = true;
                autoDisabled = true;
            }
        });
        if (autoDisabled)
            logEvent(format("Account Auto-Disabled: %s (%s)", session_.user.userName, session_.user.fullName),
                     EC::Connects | EC::Security | EC::Failure);
        lastSession_ = session_;
        publish();
        break;
    }
    case SessionState::Accepted: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            session_.state = SessionState::Connected;
            session_.connectTime = now();
            session_.secondsConnected = 0;
            addSecurity(SecurityCounter::Connects);
            PostLinkStatus(LinkStatus::Connected);
            logEvent(format("User Connected: %s (%s)", session_.user.userName, session_.user.fullName),
                     EC::Connects | EC::Success);
            const std::string stamp = FormatUserTime(session_.connectTime);
            writeUserRecord([&](UserRecord& row) {
                row.consecutiveFailures = 0;
                row.connectCount += 1;
                row.lastConnect = stamp;
            });
            // Idle last: whoever waits for the logon to settle (the window thread) then finds the event and
            // the user row written.
            SetLinkState(LinkState::Idle);
            publish();
        } else if (r < 0) {
            connectLinkFailure();
        }
        break;
    }
    default:
        SetLinkState(LinkState::Idle);
        break;
    }
}

void LinkServer::leaveConnect() {
    options_ = 0;
}

void LinkServer::enterDisconnect() {
    reply(FrameType::Done);
    logEvent(format("User Disconnect: %s (%s)", session_.user.userName, session_.user.fullName),
             EC::Connects | EC::Success);
}

void LinkServer::runDisconnect() {
    const int r = link_.WaitForAck();
    if (r == kLinkOk) {
        // Only a session that is really logged on has a disconnect to book; a remote that was never accepted
        // must not be able to rewrite the last user's row.
        const bool wasConnected = session_.state == SessionState::Connected;
        SetLinkState(LinkState::Idle);
        if (wasConnected) {
            const std::string stamp = FormatUserTime(now());
            writeUserRecord([&](UserRecord& row) { row.lastDisconnect = stamp; });
            lastSession_ = session_;
            lastSession_.state = SessionState::Ended;
            publish();
        }
    } else if (r < 0) {
        abandonLink();
    }
}

void LinkServer::leaveDisconnect() {
    EndSession();
}

void LinkServer::enterSecurityAbort() {
    addSecurity(SecurityCounter::SecurityAborts);
    reply(FrameType::Failed);
}

void LinkServer::runSecurityAbort() {
    const int r = link_.WaitForAck();
    if (r == kLinkOk) {
        SetLinkState(LinkState::Idle);
    } else if (r < 0) {
        abandonLink();
        logEvent("Link Failed during Security Abort", EC::Security | EC::Failure);
    }
}

void LinkServer::leaveSecurityAbort() {
    logEvent("Security Abort", EC::Security | EC::Failure);
    EndSession();
}

} // namespace comms
