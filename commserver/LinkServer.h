#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

#include "commserver/HistoryLog.h"
#include "commserver/LinkClock.h"
#include "commserver/LinkLayer.h"
#include "commserver/LinkTypes.h"
#include "commserver/ModemControl.h"
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
//
// Where each job lives:
//   LinkWorker.cpp         the worker's life: thread, cycle, state table, status and notifications, idle
//   ModemControl.cpp       the port and the modem (a class of its own)
//   LogonSecurity.cpp      logon, disconnect, options, security abort, the user's rights and refusals
//   RemoteOperations.cpp   clock, program run, file delete, move and information
//   FileTransfers.cpp      upload and download
//   TransferJournal.cpp    what a transfer changes, noted so that a crash has it undone (a class of its own)
namespace comms {

class LinkServer {
public:
    using PortOpener = ModemControl::PortOpener;

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
    void SetModemSettings(const ModemSettings& modem) { modem_.SetModemSettings(modem); }
    // Read again each time the port opens, so that a changed modem type takes effect with the reopen.
    void SetModemSettingsSource(std::function<ModemSettings()> source) {
        modem_.SetModemSettingsSource(std::move(source));
    }
    void SetPortOpener(PortOpener opener) { modem_.SetPortOpener(std::move(opener)); }
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
    void OpenPortAndInitModem() { modem_.OpenPortAndInitModem(portNumber_.load(), comms_.load()); }
    void CloseModemAndPort() { modem_.CloseModemAndPort(); }
    void HangUpModem() { modem_.HangUpModem(); }
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
    using FailureStep = void (LinkServer::*)();
    static const Handler kEnter[kLinkStateCount];
    static const Handler kRun[kLinkStateCount];
    static const Handler kLeave[kLinkStateCount];

    // --- the worker's life (LinkWorker.cpp) ---
    void enterIdle();
    // Dispatches each request frame to the state of its operation.
    void runIdle();
    void enterNone() {}
    void leaveNone() {}
    // The run step of the one-shot operations: the reply's acknowledgement.
    void runAckOnly();
    // Ack wait of the one-shot operations: 0 -> Idle and then onOk; link failure -> Idle, status 4, LinkFailure
    // and the event (when it has one).
    void ackWait(const std::function<void()>& onOk, const char* linkFailEvent, int linkFailCode);
    // The opening of every step that waits for the remote unit's next frame: true once one has come; a lost
    // line and a wait that has run out each go to their own failure step.
    bool frameArrived(FailureStep onLineLost, FailureStep onTimedOut);
    void logEvent(const std::string& text, int code);
    int reply(int type, const std::uint8_t* payload = nullptr, int length = 0);
    int reply(int type, const std::vector<std::uint8_t>& payload) {
        return reply(type, payload.data(), static_cast<int>(payload.size()));
    }
    bool quitRequested() const { return request_.Peek() == WorkerRequest::Quit; }
    std::int64_t now() { return clock_.Now(); }
    void addStat(LinkCounter c) { link_.statistics.Add(c); }
    void publish();
    void rollHistories();
    void reapChildren();
    void sleepCycle(int ms);
    plat::SerialPort* port() const { return modem_.Port(); }

    // --- logon, options and security (LogonSecurity.cpp) ---
    void enterSetOptions();
    void enterConnect();
    void runConnect();
    void leaveConnect();
    // The line failed while a logon was under way.
    void failConnectLink();
    void enterDisconnect();
    void runDisconnect();
    void leaveDisconnect();
    void enterSecurityAbort();
    void runSecurityAbort();
    void leaveSecurityAbort();
    void addSecurity(SecurityCounter c) {
        security_[static_cast<std::size_t>(c)].fetch_add(1, std::memory_order_relaxed);
    }
    PathRights rights() const;
    void countRefusal(PathRefusal refusal);
    // A request whose payload does not hold what its type needs: refused with 1005.
    void refuseBadRequest(const std::string& event, int code, std::optional<LinkCounter> failure);
    // A path refused by the user's rights or by the folders offered: counted, logged and refused, by a
    // security abort when security is on and by 1005 when it is off (no session to end then).
    void refusePath(PathRefusal refusal, const std::string& event, int code, std::optional<LinkCounter> failure);
    void writeUserRecord(const std::function<void(UserRecord&)>& change);

    // --- clock, program run, delete, move, information (RemoteOperations.cpp) ---
    void enterClockSet();
    void enterProgramRun();
    void enterFileDelete();
    void enterFileMove();
    void enterFileInfo();

    // --- upload and download (FileTransfers.cpp) ---
    void enterFileReceive();
    void runFileReceive();
    void leaveFileReceive();
    void setStep(ReceiveStep step) { transfer_.subState = static_cast<int>(step); }
    // The file an upload is received into: beside the one a direct upload is to replace, in the server's
    // folder for an append; -1 when it cannot be made. It notes the file the request found, to be checked again
    // at the end.
    int openUploadTemporary();
    // The end of an upload: 0, the system's error number, or kTargetChanged when the name no longer leads to
    // the file the request found.
    static constexpr int kTargetChanged = -1;
    int replaceWithUpload();
    int appendReceivedFile();
    // The ways an upload fails: the line went (DSR dropped), counted as a failed receive or (while the first
    // Ready goes out) not; the remote unit fell silent during the upload or after its end; the server itself
    // could not go on (it tells the remote unit so with replyType and waits for the acknowledgement).
    void failReceiveLostDsr();
    void failReceiveLineLost();
    void failReceiveTimedOut();
    void failReceiveTimedOutAfterEnd();
    void failReceiveLink(const char* event);
    void failReceiveOnServer(const std::string& event, int replyType,
                             int code = HistoryEventCode::FileReceive | HistoryEventCode::Failure);
    void enterFileSend();
    void runFileSend();
    void leaveFileSend();
    void setStep(SendStep step) { transfer_.subState = static_cast<int>(step); }
    // The ways a download fails: the line went (DSR dropped); the link failed (the remote unit fell silent);
    // the line went while the server's own refusal was going out.
    void failSendLineLost();
    void failSendLinkFailure();
    void failSendLineLostAfterRefusal();
    void sendRemoteFailed();
    // 0, or the system's error number.
    int writeAll(int fd, const std::uint8_t* data, std::size_t size);
    int syncFile(int fd);
    void closeTransferFile();

    HistoryLog& history_;
    UserTables& users_;
    LinkClock& clock_;
    LinkLayer link_;
    ModemControl modem_;
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
    std::function<void()> notify_;
    std::function<void()> activity_;
    FileWriter writer_;
    FileSyncer syncer_;

    mutable std::mutex sharedMutex_;
    ServerSnapshot published_;
    std::array<std::uint32_t, 5> rxHistory_{};
    std::array<std::uint32_t, 5> txHistory_{};

    // Worker-only state.
    LinkState state_ = LinkState::Idle;
    std::uint16_t options_ = 0;
    std::int64_t lastOperationTime_ = 0;
    std::uint64_t trayTotal_ = 0;
    std::vector<pid_t> children_;
    // The one-shot operation's success step, set by its enter handler.
    std::function<void()> oneShotOk_;
    const char* oneShotLinkFail_ = nullptr;
    int oneShotLinkFailCode_ = 0;
    // The logon.
    UserSession session_;
    UserSession lastSession_;
    std::array<std::uint8_t, 30> challenge_{};
    // The transfer.
    TransferInfo transfer_;
    int transferFd_ = -1;
    std::string transferPath_;    // the local path that transfer_.fileName resolved to
    std::string uploadTemporary_; // what an upload is received into until it is whole
    int transferDir_ = -1;        // the folder of the file an upload goes to, opened at the request
    std::string transferName_;    // that file's name in it
    bool targetExisted_ = false;  // the request found a file of that name: targetDev_, targetIno_
    dev_t targetDev_ = 0;
    ino_t targetIno_ = 0;
    bool receiveEventPending_ = false; // an upload is under way and its outcome is not yet in the history
    mode_t savedMode_ = 0;
    bool modeChanged_ = false;
    TransferJournal journal_;
};

// The expected logon responses (exposed for the tests' remote unit to compute them independently).
std::uint32_t PrimaryResponse(const std::string& password, const std::array<std::uint8_t, 30>& challenge);
std::uint32_t SecondaryResponse(const std::string& psw2, const std::array<std::uint8_t, 30>& challenge);

} // namespace comms
