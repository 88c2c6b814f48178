#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

#include "commserver/HistoryLog.h"
#include "commserver/LinkClock.h"
#include "commserver/LinkLayer.h"
#include "commserver/RemotePath.h"
#include "commserver/TransferJournal.h"
#include "commserver/UserRecord.h"
#include "commserver/UserTables.h"
#include "commserver/WorkerRequest.h"

namespace plat {
class SerialPort;
}

// The server's side of the link: one worker thread owns the serial port, opens it (and initialises a modem),
// and answers the remote unit's requests with a table-driven state machine, one state per remote operation.
// The window thread asks for a reopen or a quit through the worker request, reads the counters, status and a
// snapshot of the sessions and the transfer, and is told of changes through a notification callback.
namespace comms {

enum class LinkState : int {
    Idle = 0,
    FileReceive = 1,
    FileSend = 2,
    ClockSet = 3,
    ProgramRun = 4,
    FileDelete = 5,
    FileMove = 6,
    SetOptions = 7,
    Connect = 8,
    Disconnect = 9,
    SecurityAbort = 10,
    FileInfo = 11,
};
constexpr int kLinkStateCount = 12;

// What the tray icon and the activity display show.
namespace LinkStatus {
constexpr int NoPort = 0;
constexpr int OpenFailed = 1;
constexpr int ClosingDown = 2;
constexpr int Ready = 3;
constexpr int LinkFailed = 4;
constexpr int Receiving = 5;
constexpr int Sending = 6;
constexpr int ModemInitialise = 7;
constexpr int ModemDeInitialise = 8;
constexpr int Connected = 9;
} // namespace LinkStatus

namespace FrameType {
constexpr int FileReceive = 1001; // request: upload; reply: file header of a download
constexpr int FileSend = 1002;
constexpr int Data = 1003;
constexpr int EndOfData = 1004;
constexpr int Failed = 1005;
constexpr int Ready = 1006;
constexpr int Done = 1007;
constexpr int ProtocolError = 1008;
constexpr int ClockRequest = 1009;
constexpr int ClockReply = 1010;
constexpr int ProgramRun = 1011;
constexpr int ProgramStarted = 1012;
constexpr int FileDelete = 1013;
constexpr int FileDeleted = 1014;
constexpr int FileMove = 1015;
constexpr int FileMoved = 1016;
constexpr int SetOptions = 1017;
constexpr int Connect = 1020;
constexpr int Challenge = 1021;
constexpr int Response = 1022;
constexpr int Disconnect = 1023;
constexpr int FileInfo = 1024;
constexpr int FileInfoReply = 1025;
} // namespace FrameType

namespace TransferMode {
constexpr int Direct = 2001;
constexpr int Appended = 2002;
constexpr int Listing = 2003;
} // namespace TransferMode

// Options word bits (request 1017).
namespace LinkOption {
constexpr int LockAndRemoveSent = 1;
constexpr int RemoveSent = 2;
constexpr int SpawnDirectly = 4;
} // namespace LinkOption

enum class SecurityCounter : int {
    Connects,
    PasswordFailures,
    SecondsConnected,
    SecurityAborts,
    UncRefusals,
    OtherDirRefusals,
    DollarRefusals,
    ProgramRunRefusals,
    NetDriveRefusals,
};
constexpr int kSecurityCounterCount = 9;

struct ModemSettings {
    int type = 0; // 0 = "Direct": no modem
    std::string name;
    long baud = 19200;
    int responseDelayMs = 2000;
    int interCommandDelayMs = 500;
    int hangUpTimeOutS = 5;
    int inactivityHangUpS = 180;
    std::array<std::string, 20> init;
    std::array<std::string, 10> deInit;
};

struct TransferInfo {
    std::string fileName;
    int mode = TransferMode::Appended;
    std::uint32_t size = 0;
    std::uint32_t bytesReceived = 0;
    std::uint32_t bytesSent = 0;
    int nextBlock = 0;
    int subState = 0;
    bool completed = false;
    std::string label = "File";
};

// Everything the window thread may show at once, copied under one lock.
struct ServerSnapshot {
    LinkState state = LinkState::Idle;
    UserSession current;
    UserSession last;
    TransferInfo transfer;
};

// The file writes and syncs of transfers, so that tests can make the disk run full or fail.
using FileWriter = std::function<ssize_t(int fd, const void* data, std::size_t size)>;
using FileSyncer = std::function<int(int fd)>;

class LinkServer {
public:
    using PortOpener = std::function<plat::SerialPort*(int portNumber, long baud)>;

    LinkServer(HistoryLog& history, UserTables& users, LinkClock& clock = LinkClock::System());
    ~LinkServer();
    LinkServer(const LinkServer&) = delete;
    LinkServer& operator=(const LinkServer&) = delete;

    // --- settings (any thread) ---
    void SetPortNumber(int portNumber);
    int PortNumber() const { return portNumber_.load(); }
    // 1 or 2 -> 9600, 3 -> 38400, 4 -> 57600, anything else 19200 baud (without a modem).
    void SetComms(int comms) { comms_.store(comms); }
    void SetSecurityLevel(int level) { securityLevel_.store(level < 0 ? 0 : (level > 2 ? 2 : level)); }
    int SecurityLevel() const { return securityLevel_.load(); }
    void SetModemSettings(const ModemSettings& modem);
    // Read again each time the port opens, so that a changed modem type takes effect with the reopen.
    void SetModemSettingsSource(std::function<ModemSettings()> source);
    void SetPortOpener(PortOpener opener);
    // Called (on the worker thread) when the window should refresh: the window thread must queue its work.
    void SetNotify(std::function<void()> notify);
    // Called (on the worker thread) when traffic moved, to animate the tray icon.
    void SetActivity(std::function<void()> activity);
    void SetFileWriter(FileWriter writer);
    void SetFileSyncer(FileSyncer syncer);
    RemotePathMap& Paths() { return paths_; }
    LinkLayer& Link() { return link_; }

    // --- the worker ---
    void Start();
    // Asks the worker to quit and waits at most timeoutMs for it. True when it has ended (and been joined).
    bool Stop(int timeoutMs = 15000);
    bool Running() const { return thread_.joinable(); }
    void PostRequest(int request) { request_.Post(request); }
    // The thread body: cycles until a quit is taken, then closes the port. Returns 0.
    int LinkThreadMain();
    // One cycle of the worker without its sleep, for a test that steps the server itself. False once a quit
    // request has been taken.
    bool RunCycle();
    // Before the first cycle, and at quit.
    void BeginWorker();
    void EndWorker();

    // --- state for the window thread ---
    int UiStatus() const { return uiStatus_.load(); }
    // Set by the window after each refresh; cleared by each progress notification and while the window closes.
    void SetNotificationFlag(bool on) { notificationFlag_.store(on); }
    LinkState State() const { return static_cast<LinkState>(linkState_.load()); }
    ServerSnapshot Snapshot() const;
    std::uint32_t SecurityCount(SecurityCounter c) const {
        return security_[static_cast<std::size_t>(c)].load(std::memory_order_relaxed);
    }
    // The last modem status sample and the per-second RX/TX histories (oldest first).
    int ModemSample() const { return modemSample_.load(); }
    std::array<std::uint32_t, 5> RxHistory() const;
    std::array<std::uint32_t, 5> TxHistory() const;
    // Zeroes both histories (the diagnostics' Reset, with the counters): the next roll starts them again.
    void ResetHistories();
    // The clock second (seconds since 1970) of the last roll of the histories; 0 before the port first opened.
    std::int64_t LastRollSecond() const { return historySecond_.load(); }
    // The current session's names for the history's forwarded records.
    HistoryLog::SessionNames SessionNames() const;

    // --- the operations of the state machine (worker thread) ---
    void SetLinkState(LinkState state);
    void PostLinkStatus(int status);
    void NotifyProgress();
    void OpenPortAndInitModem();
    void CloseModemAndPort();
    void HangUpModem();
    void LinkFailure();
    // The line failed during an operation: back to idle, the failure shown, the session ended.
    void abandonLink();
    void EndSession();
    void IdlePoll();
    int CheckUserConnected();
    // Where a remote path leads, and whether it may be used: inside the offered folders always, and within
    // the logged-on user's rights when security is on. The local path of an allowed one is the one to open.
    ResolvedPath CheckPathAllowed(const std::string& path) const;

private:
    using Handler = void (*)(LinkServer&);
    static const Handler kEnter[kLinkStateCount];
    static const Handler kRun[kLinkStateCount];
    static const Handler kLeave[kLinkStateCount];

    // Handlers.
    void enterIdle();
    void runIdle();
    void enterNone() {}
    void leaveNone() {}
    void runAckOnly();
    void enterFileReceive();
    void runFileReceive();
    void leaveFileReceive();
    // The file a direct upload is received into, beside the one it is to replace; -1 when it cannot be made.
    int openUploadTemporary();
    // The end of an upload: 0, or the system's error number.
    int replaceWithUpload();
    int appendReceivedFile();
    void enterFileSend();
    void runFileSend();
    void leaveFileSend();
    void enterClockSet();
    void enterProgramRun();
    void enterFileDelete();
    void enterFileMove();
    void enterSetOptions();
    void enterConnect();
    void runConnect();
    void leaveConnect();
    void enterDisconnect();
    void runDisconnect();
    void leaveDisconnect();
    void enterSecurityAbort();
    void runSecurityAbort();
    void leaveSecurityAbort();
    void enterFileInfo();

    // Helpers.
    void logEvent(const std::string& text, int code);
    int reply(int type, const std::uint8_t* payload = nullptr, int length = 0);
    int reply(int type, const std::vector<std::uint8_t>& payload) {
        return reply(type, payload.data(), static_cast<int>(payload.size()));
    }
    bool sendModemString(const std::string& command);
    bool quitRequested() const { return request_.Peek() == WorkerRequest::Quit; }
    PathRights rights() const;
    void countRefusal(PathRefusal refusal);
    std::int64_t now() { return clock_.Now(); }
    void addStat(LinkCounter c) { link_.statistics.Add(c); }
    void addSecurity(SecurityCounter c) {
        security_[static_cast<std::size_t>(c)].fetch_add(1, std::memory_order_relaxed);
    }
    // A request whose payload does not hold what its type needs: refused with 1005.
    void refuseBadRequest(const std::string& event, int code, std::optional<LinkCounter> failure);
    // A path refused by the user's rights or by the folders offered: counted, logged and refused, by a
    // security abort when security is on and by 1005 when it is off (no session to end then).
    void refusePath(PathRefusal refusal, const std::string& event, int code, std::optional<LinkCounter> failure);
    // Ack wait of the one-shot operations: 0 -> Idle and then onOk; link failure -> Idle, status 4, LinkFailure
    // and the event (when it has one).
    void ackWait(const std::function<void()>& onOk, const char* linkFailEvent, int linkFailCode);
    void publish();
    void closeTransferFile();
    void reapChildren();
    void sleepCycle(int ms);
    // 0, or the system's error number.
    int writeAll(int fd, const std::uint8_t* data, std::size_t size);
    int syncFile(int fd);
    void writeUserRecord(const std::function<void(UserRecord&)>& change);

    HistoryLog& history_;
    UserTables& users_;
    LinkClock& clock_;
    LinkLayer link_;
    RemotePathMap paths_;
    WorkerRequest request_;
    std::thread thread_;

    std::atomic<int> portNumber_{-1};
    std::atomic<int> comms_{0};
    std::atomic<int> securityLevel_{0};
    std::atomic<int> uiStatus_{LinkStatus::NoPort};
    std::atomic<bool> notificationFlag_{true};
    std::atomic<int> linkState_{0};
    std::atomic<int> modemSample_{0};
    std::atomic<bool> workerEnded_{false};
    // Written by the worker only; atomic for the status reply.
    std::atomic<std::int64_t> historySecond_{0};
    std::array<std::atomic<std::uint32_t>, kSecurityCounterCount> security_{};

    mutable std::mutex settingsMutex_;
    ModemSettings modemSettings_;
    std::function<ModemSettings()> modemSource_;
    PortOpener portOpener_;
    std::function<void()> notify_;
    std::function<void()> activity_;
    FileWriter writer_;
    FileSyncer syncer_;

    mutable std::mutex sharedMutex_;
    ServerSnapshot published_;
    std::array<std::uint32_t, 5> rxHistory_{};
    std::array<std::uint32_t, 5> txHistory_{};

    // Worker-only state.
    plat::SerialPort* port_ = nullptr;
    int previousPort_ = -1;
    ModemSettings modem_;
    bool abortWaitsOnQuit_ = false;
    LinkState state_ = LinkState::Idle;
    std::uint16_t options_ = 0;
    std::int64_t lastOperationTime_ = 0;
    std::uint64_t trayTotal_ = 0;
    UserSession session_;
    UserSession lastSession_;
    TransferInfo transfer_;
    int transferFd_ = -1;
    std::string transferPath_;         // the local path that transfer_.fileName resolved to
    std::string uploadTemporary_;      // what a direct upload is received into until it is whole
    bool receiveEventPending_ = false; // an upload is under way and its outcome is not yet in the history
    TransferJournal journal_;
    mode_t savedMode_ = 0;
    bool modeChanged_ = false;
    std::vector<pid_t> children_;
    // The one-shot operation's success step, set by its enter handler.
    std::function<void()> oneShotOk_;
    const char* oneShotLinkFail_ = nullptr;
    int oneShotLinkFailCode_ = 0;
    std::array<std::uint8_t, 30> challenge_{};
};

// The expected logon responses (exposed for the tests' remote unit to compute them independently).
std::uint32_t PrimaryResponse(const std::string& password, const std::array<std::uint8_t, 30>& challenge);
std::uint32_t SecondaryResponse(const std::string& psw2, const std::array<std::uint8_t, 30>& challenge);

} // namespace comms
