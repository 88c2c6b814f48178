#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "commserver/CommonLogger.h"
#include "commserver/HistoryLog.h"
#include "commserver/app/InstanceLock.h"
#include "commserver/app/ServerEngine.h"
#include "commserver/app/ServerSettings.h"
#include "commserver/app/StatusReply.h"
#include "platform/ProfileFile.h"

class CMainFrame;

// The communications server program: all its settings, the link engine and its worker, the history, the
// common logger link and the hidden main window. InitInstance runs from start-up to the start of the worker;
// ExitInstance stops the worker, closes the user table and records that the server is no longer active.
class CCommsServerApp {
public:
    using EngineFactory = std::function<std::unique_ptr<quendar::ServerEngine>(comms::HistoryLog& history)>;

    explicit CCommsServerApp(EngineFactory factory);
    ~CCommsServerApp();
    CCommsServerApp(const CCommsServerApp&) = delete;
    CCommsServerApp& operator=(const CCommsServerApp&) = delete;

    // args without the program name. False when the program must end at once: another server already runs
    // (it keeps the port; this one touches nothing), the window interface could not be set up, or the server
    // was closed while its start waited for the operator (the banner, the test-mode warning).
    bool InitInstance(const std::vector<std::string>& args);
    // Stops and joins the worker, then closes the user table and writes [Info]. False when the worker did not
    // end in time (the caller then leaves the process without waiting for it).
    bool ExitInstance();

    // The user table again after a change of the security level or folder.
    void ReloadUserTables();
    // The settings that the engine and the history follow, after a dialog changed them.
    void ApplySettings();
    std::string PortName() const { return quendar::PortName(settings.portNumber); }
    quendar::StatusReply BuildStatus() const;
    // Shows a message box through the program's dialog services.
    int Message(const std::string& text, int style) const;

    quendar::CServerCommandLineInfo cmdInfo;
    quendar::InstallationSettings install;
    plat::ProfileFile profile;
    quendar::ServerSettings settings;
    comms::HistoryLog history;
    comms::CommonLoggerLink commonLogger;
    std::unique_ptr<quendar::ServerEngine> engine;
    std::string computerName;
    bool trayOn = true;
    bool bannerOn = true;
    bool startCommonLogger = true;
    std::atomic<bool> closing{false};
    // The Advanced Link Settings dialog is open (there is only ever one).
    bool advancedRunning = false;
    std::unique_ptr<CMainFrame> mainFrame;

private:
    EngineFactory factory_;
    // Held from the first step of the start until the program object goes.
    quendar::InstanceLock instanceLock_;
    bool initialised_ = false;
    bool exited_ = false;
};
