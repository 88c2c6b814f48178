#include "commserver/app/CCommsServerApp.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QString>

#include <cstdlib>
#include <ctime>
#include <iostream>

#include "commserver/app/CMainFrame.h"
#include "platform/UiServices.h"
#include "platform/WindowMessages.h"

CCommsServerApp::CCommsServerApp(EngineFactory factory) : factory_(std::move(factory)) {}

CCommsServerApp::~CCommsServerApp() {
    // A program that never reached ExitInstance (a failed start) still stops its worker before the engine goes.
    if (initialised_ && !exited_)
        ExitInstance();
    mainFrame.reset();
    instanceLock_.Release();
}

int CCommsServerApp::Message(const std::string& text, int style) const {
    return plat::ui().messageBox(QString::fromStdString(text), style, QString::fromLatin1(quendar::kServerWindowTitle));
}

bool CCommsServerApp::InitInstance(const std::vector<std::string>& args) {
    // The first step: two servers started at the same moment would both miss the other's window (it is made
    // much later) and fight for the port. The lock decides at once which one runs.
    switch (instanceLock_.Take(plat::winmsg::windowsFolder())) {
    case quendar::InstanceLock::Result::Taken:
        break;
    case quendar::InstanceLock::Result::HeldByPeer:
        std::cerr << "quendar32: the communications server is already running\n";
        return false;
    case quendar::InstanceLock::Result::Unusable:
        std::cerr << "quendar32: cannot make sure that no other communications server runs: " << instanceLock_.problem()
                  << "\n";
        return false;
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    trayOn = true;
    startCommonLogger = true;
    cmdInfo = quendar::ParseServerCommandLine(args);
    bannerOn = !cmdInfo.noBanner;
    if (cmdInfo.noApplicationTray)
        trayOn = false;
    if (cmdInfo.dontStartCommonLogger)
        startCommonLogger = false;
    plat::ProfileFile installFile(quendar::InstallationIniPath());
    install = quendar::ReadInstallationSettings(installFile);
    if (install.disableStartupBanners)
        bannerOn = false;
    if (install.disableApplicationTray)
        trayOn = false;

    // A server of another build, which knows no lock, still shows by its window: the one that runs keeps serving,
    // and this start ends before touching any setting.
    if (plat::winmsg::findWindow(quendar::kServerWindowClass, quendar::kServerWindowTitle) != 0) {
        std::cerr << "quendar32: the communications server is already running\n";
        return false;
    }

    profile.SetPath(quendar::ServerIniPath(cmdInfo));
    // A settings file that cannot be used leaves the server on its defaults, which is said once below.
    const std::string iniProblem = quendar::SettingsFileProblem(profile.Path());
    quendar::ReadSettings(settings, profile, install, cmdInfo);

    // Events of the first moments (the port opening) must not be wiped out, so the ring is emptied before
    // anything can log.
    history.Clear();
    engine = factory_(history);
    ApplySettings();
    commonLogger.Configure(settings.exePath, settings.databasePath, !startCommonLogger);
    commonLogger.SetProgramStarter([](const std::string& program, const std::string& folder) {
        return QProcess::startDetached(QString::fromStdString(program), {}, QString::fromStdString(folder));
    });
    history.SetCommonLogger(&commonLogger, [this] { return engine->SessionNames(); });
    ReloadUserTables();
    initialised_ = true;

    quendar::WriteInfoState(profile, true, std::time(nullptr));
    computerName = comms::ComputerName();

    mainFrame = std::make_unique<CMainFrame>(*this);
    if (!mainFrame->Create())
        return false;
    // Logged once the window is there, so that the common logger hears of it as well.
    if (!iniProblem.empty())
        history.LogHistoryEvent(quendar::UnusableSettingsEvent(profile.Path(), iniProblem),
                                comms::HistoryEventCode::Initialise | comms::HistoryEventCode::Failure);

    if (settings.corruptData || settings.lostData) {
        Message("WARNING:  Test modes are Enabled\nThese will periodically corrupt the data stream between host and "
                "remote\nDISABLE TEST MODES FOR LIVE OPERATION",
                plat::MB_OK | plat::MB_ICONEXCLAMATION);
        // Closed while the warning waited for the operator (the main program closes the server before an import, a
        // session ends): the server ends without opening its port.
        if (mainFrame->Destroyed())
            return false;
    }

    engine->Start();
    // Said once the server serves on its defaults: the box waits for the operator, the link does not.
    if (!iniProblem.empty())
        QMetaObject::invokeMethod(
            mainFrame.get(),
            [this, text = quendar::UnusableSettingsMessage(profile.Path(), iniProblem)] {
                Message(text, plat::MB_OK | plat::MB_ICONEXCLAMATION);
            },
            Qt::QueuedConnection);
    return true;
}

bool CCommsServerApp::ExitInstance() {
    if (exited_)
        return true;
    exited_ = true;
    closing = true;
    bool stopped = true;
    if (engine) {
        // The worker ends first: it may be using the user table and the port that are closed after it.
        stopped = engine->Stop(15000);
        if (stopped)
            engine->CloseUserTables();
    }
    if (initialised_)
        quendar::WriteInfoState(profile, false, std::time(nullptr));
    return stopped;
}

void CCommsServerApp::ApplySettings() {
    history.PortNumber = settings.portNumber;
    history.LogTypes = settings.logTypes;
    history.ViewTypes = settings.viewTypes;
    history.LogStatus = settings.logStatus;
    history.SetLogFile(settings.logFile);
    if (engine)
        engine->Configure(settings);
}

void CCommsServerApp::ReloadUserTables() {
    if (!engine)
        return;
    engine->CloseUserTables();
    if (settings.securityLevel > 0)
        engine->LoadUserTables(settings.userTablesPath, settings.securityLevel);
}

quendar::StatusReply CCommsServerApp::BuildStatus() const {
    quendar::StatusInputs in;
    in.portNumber = settings.portNumber;
    in.modemType = settings.enabledModem;
    in.modemDescription = settings.modemDescription;
    in.programPath = QCoreApplication::applicationFilePath().toStdString();
    in.currentFolder = QDir::currentPath().toStdString();
    in.iniPath = profile.Path();
    in.computerName = computerName;
    if (engine) {
        in.uiStatus = engine->UiStatus();
        const quendar::EngineView view = engine->View();
        in.transfer = view.transfer;
        in.currentSession = view.currentSession;
        in.lastSession = view.lastSession;
        comms::LinkLayer& link = engine->Link();
        in.timers = {static_cast<std::uint32_t>(link.timers.AckTimer.load()),
                     static_cast<std::uint32_t>(link.timers.GetTimer.load()),
                     static_cast<std::uint32_t>(link.timers.SendTimer.load()),
                     static_cast<std::uint32_t>(link.timers.ReceiveTimer.load()),
                     static_cast<std::uint32_t>(link.timers.OpticalDelay.load())};
        in.statisticsChangeCount = link.statistics.ChangeCount();
        in.counters = link.statistics.Snapshot();
        in.modemSample = static_cast<std::uint32_t>(engine->ModemSample());
        in.historySecond = engine->HistorySecond();
        in.rxHistory = engine->RxHistory();
        in.txHistory = engine->TxHistory();
        in.securityState = static_cast<std::uint32_t>(engine->SecurityState());
        in.securityCounters = engine->SecurityCounters();
    }
    return quendar::BuildStatusReply(in);
}
