// The program's link engine: the serial worker and its user table, behind what the windows need of them.
#include <atomic>
#include <memory>
#include <mutex>

#include "commserver/LinkServer.h"
#include "commserver/UserTables.h"
#include "commserver/XbaseUserStore.h"
#include "commserver/app/EngineFactory.h"
#include "commserver/app/InstanceLock.h"
#include "platform/WindowMessages.h"

namespace quendar {
namespace {

comms::ModemSettings modemOf(const ServerSettings& s) {
    comms::ModemSettings m;
    m.type = s.modemInUse ? s.enabledModem : 0;
    m.name = s.modemDescription;
    m.baud = s.modem.baud;
    m.responseDelayMs = s.modem.responseDelayMs;
    m.interCommandDelayMs = s.modem.interCommandDelayMs;
    m.hangUpTimeOutS = s.modem.hangUpTimeOutS;
    m.inactivityHangUpS = s.modem.inactivityHangUpS;
    m.init = s.modem.init;
    m.deInit = s.modem.deInit;
    return m;
}

class LinkServerEngine final : public ServerEngine {
public:
    explicit LinkServerEngine(comms::HistoryLog& history)
        : LinkServerEngine(history, std::make_unique<comms::XbaseUserStore>()) {}
    LinkServerEngine(comms::HistoryLog& history, std::unique_ptr<comms::XbaseUserStore> store)
        : store_(store.get()), users_(std::move(store)), server_(history, users_) {
        // The engine's shared log is not joined in a folder remote units can write to, and the history says
        // when a log is left out.
        store_->SetRemoteWritable([this](const std::string& folder) { return server_.Paths().Offers(folder); });
        store_->SetNote([&history](const std::string& text) {
            history.LogHistoryEvent(text, comms::HistoryEventCode::Initialise | comms::HistoryEventCode::Failure);
        });
        // The modem's commands are read again before every port open, so an edited file takes effect with
        // the next reopen.
        server_.SetModemSettingsSource([this] {
            ServerSettings s;
            {
                std::lock_guard lock(mutex_);
                s = settings_;
            }
            if (!s.iniPath.empty()) {
                plat::ProfileFile ini(s.iniPath);
                ReadModemCommands(s, ini);
            }
            return modemOf(s);
        });
    }
    ~LinkServerEngine() override { server_.Stop(15000); }

    void Configure(const ServerSettings& s) override {
        {
            std::lock_guard lock(mutex_);
            settings_ = s;
        }
        server_.SetPortNumber(s.portNumber);
        server_.SetComms(s.comms);
        server_.SetSecurityLevel(s.securityLevel);
        server_.SetModemSettings(modemOf(s));
        comms::LinkLayer& link = server_.Link();
        link.timers.AckTimer = s.ackTimer;
        link.timers.GetTimer = s.getTimer;
        link.timers.SendTimer = s.sendTimer;
        link.timers.ReceiveTimer = s.receiveTimer;
        link.timers.OpticalDelay = s.opticalDelay;
        link.timers.InactivityHangUp = s.modem.inactivityHangUpS;
        link.PhantomDSR = s.phantomDSR;
        link.CorruptData = s.corruptData;
        link.LostData = s.lostData;
        for (const auto& [letter, root] : s.driveMap)
            server_.Paths().MapDrive(letter, root);
        // The server's own files are out of every remote operation's reach: a user who could rewrite the
        // settings could turn security off for the next start.
        std::vector<std::string> own = comms::UserTableFiles(s.userTablesPath);
        own.push_back(s.iniPath);
        own.push_back(server_.Paths().ServerFolder() + "/" + kServerIniName);
        // The installation file as it is found, or where it would be made when there is none yet.
        const std::string install = InstallationIniPath();
        own.push_back(install.empty() ? SystemFolder() + "/" + kInstallationIniName : install);
        own.push_back(s.logFile);
        // The table engine's shared log: one planted there would stop every logon.
        own.push_back(comms::SharedLogPath());
        // The one-server lock: a lock file removed while held would let a second server start.
        own.push_back(plat::winmsg::windowsFolder() + "/" + kInstanceLockName);
        server_.Paths().SetServerFiles(std::move(own));
    }
    void LoadUserTables(const std::string& folder, int securityLevel) override {
        level_ = securityLevel;
        users_.LoadUserTables(securityLevel, folder);
    }
    void CloseUserTables() override { users_.CloseUserTables(); }
    int SecurityState() const override { return level_ == 0 ? 0 : (users_.IsOpen() ? 1 : 2); }

    void Start() override {
        server_.Start();
        server_.PostRequest(comms::WorkerRequest::Reopen);
    }
    bool Stop(int timeoutMs) override { return server_.Stop(timeoutMs); }
    void PostRequest(int request) override { server_.PostRequest(request); }
    int UiStatus() const override { return server_.UiStatus(); }
    void SetNotificationFlag(bool on) override { server_.SetNotificationFlag(on); }
    void SetNotify(std::function<void()> notify) override { server_.SetNotify(std::move(notify)); }
    void SetActivity(std::function<void()> activity) override { server_.SetActivity(std::move(activity)); }
    comms::LinkLayer& Link() override { return server_.Link(); }
    int ModemSample() const override { return server_.ModemSample(); }
    std::array<std::uint32_t, 5> RxHistory() const override { return server_.RxHistory(); }
    std::array<std::uint32_t, 5> TxHistory() const override { return server_.TxHistory(); }
    std::uint32_t HistorySecond() const override { return static_cast<std::uint32_t>(server_.LastRollSecond()); }
    void ResetHistories() override { server_.ResetHistories(); }
    std::array<std::uint32_t, 9> SecurityCounters() const override {
        std::array<std::uint32_t, 9> out{};
        for (int i = 0; i < comms::kSecurityCounterCount; ++i)
            out[static_cast<std::size_t>(i)] = server_.SecurityCount(static_cast<comms::SecurityCounter>(i));
        return out;
    }
    EngineView View() const override {
        const comms::ServerSnapshot snap = server_.Snapshot();
        EngineView v;
        v.transfer.fileName = snap.transfer.fileName;
        v.transfer.mode = static_cast<std::uint32_t>(snap.transfer.mode);
        v.transfer.size = snap.transfer.size;
        v.transfer.bytesReceived = snap.transfer.bytesReceived;
        v.transfer.bytesSent = snap.transfer.bytesSent;
        v.transfer.nextBlock = static_cast<std::uint32_t>(snap.transfer.nextBlock);
        v.transfer.subState = static_cast<std::uint32_t>(snap.transfer.subState);
        v.transfer.completed = snap.transfer.completed;
        v.currentSession = snap.current.Serialize();
        v.lastSession = snap.last.Serialize();
        return v;
    }
    comms::HistoryLog::SessionNames SessionNames() const override { return server_.SessionNames(); }

private:
    mutable std::mutex mutex_;
    ServerSettings settings_;
    std::atomic<int> level_{0};
    comms::XbaseUserStore* store_;
    comms::UserTables users_;
    comms::LinkServer server_;
};

} // namespace

std::unique_ptr<ServerEngine> MakeServerEngine(comms::HistoryLog& history) {
    return std::make_unique<LinkServerEngine>(history);
}

} // namespace quendar
