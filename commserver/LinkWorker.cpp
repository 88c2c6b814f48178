// The worker's life: its thread and cycle, the state table that runs each operation's enter, run and leave
// steps, the status and notifications for the window thread, and the Idle state that dispatches requests.
#include "commserver/LinkServer.h"
#include "commserver/RequestText.h"

#include <algorithm>
#include <chrono>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/SerialPort.h"

namespace comms {

namespace {

namespace EC = HistoryEventCode;

// The worker on this thread, for the serial layer's idle routine.
thread_local const ModemControl* tl_modem = nullptr;
thread_local const WorkerRequest* tl_request = nullptr;

int workerIdle() {
    // A quit asked for while the port opens ends the modem dialogue at once instead of after every command's
    // response delay.
    if (tl_modem && tl_modem->AbortsWaitsOnQuit() && tl_request && tl_request->Peek() == WorkerRequest::Quit)
        return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
}

} // namespace

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
    : history_(history), users_(users), clock_(clock), link_(clock),
      modem_(link_, history, clock,
             ModemControl::Host{
                 [this](const std::string& text, int code) { logEvent(text, code); },
                 [this](int status) { PostLinkStatus(status); },
                 [this] { return uiStatus_.load(); },
                 [this] { return quitRequested(); },
                 [this](plat::SerialPort& port) {
                     {
                         std::lock_guard lock(sharedMutex_);
                         rxHistory_.fill(0);
                         txHistory_.fill(0);
                     }
                     for (int i = 0; i < 5; ++i)
                         link_.statistics.BumpChangeCount();
                     historySecond_.store(now());
                     modemSample_.store(port.ModemStatus() < 0 ? 0 : port.ModemStatus());
                 },
                 [this] { closeTransferFile(); },
             }) {
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
    tl_modem = &modem_;
    tl_request = &request_;
    plat::SetIdleRoutine(workerIdle);
    // What a server that died during a transfer left half done (a partial upload, a file locked while it was
    // sent, half an appendix) is undone before the first request is taken.
    journal_.Open(paths_.ServerFolder(), paths_.OfferedFolders(), [this](const std::string& text, bool ok) {
        logEvent(text, EC::Initialise | (ok ? EC::Success : EC::Failure));
    });
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
    tl_modem = nullptr;
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
        if (port() && port()->RxUsed() > 0)
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
    if (!port()) {
        publish();
        return true;
    }

    kRun[static_cast<int>(state_)](*this);
    if (!port()) {
        publish();
        return true;
    }

    const int lines = port()->ModemStatus();
    if (lines >= 0 && lines != modemSample_.load()) {
        const int before = modemSample_.load();
        if ((before & plat::kModemDcd) && !(lines & plat::kModemDcd) && session_.active &&
            session_.state != SessionState::Ended)
            EndSession();
        modemSample_.store(lines);
        link_.statistics.BumpChangeCount();
    }

    rollHistories();
    publish();
    return true;
}

// Once a second: the RX and TX histories move on a slot, the tray is told of traffic, and a connected user's
// time grows.
void LinkServer::rollHistories() {
    const std::int64_t t = now();
    const std::int64_t lastRoll = historySecond_.load();
    if (t == lastRoll)
        return;
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

void LinkServer::LinkFailure() {
    if (port() && plat::CtsOn(*port()) == 0)
        port()->ClearTxBuffer();
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
// Idle and the one-shot operations' acknowledgement

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

bool LinkServer::frameArrived(FailureStep onLineLost, FailureStep onTimedOut) {
    const int r = link_.AwaitFrame();
    if (r == kLinkLineLost) {
        (this->*onLineLost)();
        return false;
    }
    if (r == kLinkTimerExpired) {
        (this->*onTimedOut)();
        return false;
    }
    return r == kLinkOk;
}

} // namespace comms
