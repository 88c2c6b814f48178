#pragma once
#include <atomic>
#include <mutex>
#include <vector>

#include "commserver/app/ServerEngine.h"

// A link engine the windows can be driven with: it records what it is asked and shows what a test sets.
class FakeEngine : public quendar::ServerEngine {
public:
    void Configure(const quendar::ServerSettings& s) override {
        configured = s;
        ++configureCalls;
        link.timers.AckTimer = s.ackTimer;
        link.timers.GetTimer = s.getTimer;
        link.timers.SendTimer = s.sendTimer;
        link.timers.ReceiveTimer = s.receiveTimer;
        link.timers.OpticalDelay = s.opticalDelay;
        link.PhantomDSR = s.phantomDSR;
        link.CorruptData = s.corruptData;
        link.LostData = s.lostData;
    }
    void LoadUserTables(const std::string& folder, int level) override {
        tablesOpen = true;
        tablesFolder = folder;
        tablesLevel = level;
        ++loads;
    }
    void CloseUserTables() override {
        // The tables must never close under a running worker.
        if (running)
            closedWhileRunning = true;
        tablesOpen = false;
    }
    int SecurityState() const override { return tablesOpen ? 1 : 0; }
    void Start() override {
        running = true;
        ++starts;
        requests.push_back(comms::WorkerRequest::Reopen);
    }
    bool Stop(int) override {
        requests.push_back(comms::WorkerRequest::Quit);
        running = false;
        return true;
    }
    void PostRequest(int r) override { requests.push_back(r); }
    int UiStatus() const override { return status; }
    void SetNotificationFlag(bool on) override { notificationFlag = on; }
    void SetNotify(std::function<void()> n) override { notify = std::move(n); }
    void SetActivity(std::function<void()> a) override { activity = std::move(a); }
    comms::LinkLayer& Link() override { return link; }
    int ModemSample() const override { return modemSample; }
    std::array<std::uint32_t, 5> RxHistory() const override { return rx; }
    std::array<std::uint32_t, 5> TxHistory() const override { return tx; }
    std::uint32_t HistorySecond() const override { return 77; }
    void ResetHistories() override { rx = tx = {}; }
    std::array<std::uint32_t, 9> SecurityCounters() const override { return {1, 2, 3, 4, 5, 6, 7, 8, 9}; }
    quendar::EngineView View() const override { return view; }
    comms::HistoryLog::SessionNames SessionNames() const override { return {"JIM", "Jim Smith"}; }

    quendar::ServerSettings configured;
    int configureCalls = 0;
    bool tablesOpen = false;
    std::string tablesFolder;
    int tablesLevel = 0;
    int loads = 0;
    bool running = false;
    bool closedWhileRunning = false;
    int starts = 0;
    std::vector<int> requests;
    int status = comms::LinkStatus::Ready;
    std::atomic<bool> notificationFlag{false};
    std::function<void()> notify;
    std::function<void()> activity;
    comms::LinkLayer link;
    int modemSample = 0;
    std::array<std::uint32_t, 5> rx{};
    std::array<std::uint32_t, 5> tx{};
    quendar::EngineView view;
};
