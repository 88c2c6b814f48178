#pragma once
#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/ProfileFile.h"

// The server program's command line and its two settings files: the server's own file (Quendar32.Ini in the
// current folder unless the command line names another), which the dialogs write back, and the installation's
// file, which the server only reads and which can lock the security level and the user-table folder.
// Nothing here needs a window, so the tests read and write settings without one.
namespace quendar {

struct CServerCommandLineInfo {
    // One argument: a switch (flag, without its "/" or "-") or a plain argument.
    void ParseParam(const std::string& param, bool flag, bool last);

    bool noBanner = false;
    bool dontStartCommonLogger = false;
    bool noApplicationTray = false;
    bool enableTestModes = false;
    std::string iniFile; // as given (a Windows-style path is resolved when it is used)
    std::vector<std::string> others;

private:
    bool wantIni_ = false;
};
// Switches start with "/" or "-" and compare without regard to case; "ini" takes the next plain argument.
CServerCommandLineInfo ParseServerCommandLine(const std::vector<std::string>& args);

constexpr const char* kServerIniName = "Quendar32.Ini";
constexpr const char* kInstallationIniName = "QUARN Comms Server.Ini";
// The folder that holds the installation's file: $VORD_SYSTEM_FOLDER, else /etc/quarn.
std::string SystemFolder();
// The installation file in that folder (found without regard to case); empty when there is none.
std::string InstallationIniPath();
// The server's file: the command line's, else Quendar32.Ini in the current folder, found without regard to
// case; a Windows-style name ("C:\X\MY.INI") is turned into the local path it stands for.
std::string ServerIniPath(const CServerCommandLineInfo& cmd);

// Why the server's settings file cannot serve as one (a folder, a file in a folder that does not exist, a file
// that may not be read, something other than a file), or empty when it can: a missing file in an existing
// folder is fine, it is made at the first write.
std::string SettingsFileProblem(const std::string& path);
// What the operator is told, once, when the settings file cannot be used: the event for the history, and the
// message box text.
std::string UnusableSettingsEvent(const std::string& path, const std::string& problem);
std::string UnusableSettingsMessage(const std::string& path, const std::string& problem);

struct InstallationSettings {
    bool disableStartupBanners = false;
    bool disableApplicationTray = false;
    std::string exePath;        // folder of the common logger program
    std::string databasePath;   // the common logger's working folder
    int connectLevel = 0;       // > 0: security level connectLevel - 1, locked
    std::string userTablesPath; // not empty: the user-table folder, locked
};
InstallationSettings ReadInstallationSettings(const plat::ProfileFile& install);

// The ports the Settings window offers; any other port number means "no port".
constexpr int kPortCount = 35;
constexpr int kNoPort = -1;
// "COM1" .. "COM35", or "No Port".
std::string PortName(int portNumber);
// 1, 2 -> 9600; 3 -> 38400; 4 -> 57600; anything else 19200.
long BaudForComms(int comms);

struct ModemConfig {
    std::array<std::string, 20> init;
    std::array<std::string, 10> deInit;
    int responseDelayMs = 3000;
    int interCommandDelayMs = 1000;
    long baud = 19200;
    int hangUpTimeOutS = 5;
    int inactivityHangUpS = 180;
};

struct ServerSettings {
    int portNumber = kNoPort;
    int previousPortNumber = kNoPort;
    int alwaysOnTop = 0; // display mode of the Activity window: 0 nothing special, 1 pop up, 2 on top
    int comms = 0;
    bool phantomDSR = false;
    bool corruptData = false;
    bool lostData = false;
    int ackTimer = 3;
    int getTimer = 15;
    int sendTimer = 6;
    int receiveTimer = 4;
    int opticalDelay = 20;
    int viewTypes = 2047;
    int logTypes = 2047;
    int logStatus = 0;
    std::string logFile;
    int enabledModem = 0;
    std::string modemDescription = "Direct";
    std::string modemSection; // "Modem <type name>", empty without a modem type
    bool modemInUse = false;
    ModemConfig modem;
    int securityLevel = 0;
    bool securityLocked = false;
    std::string userTablesPath;
    bool folderLocked = false;
    std::string exePath;
    std::string databasePath;
    bool commonLoggerOn = false;
    // The file these came from; the worker reads the modem's commands from it again before each port open.
    std::string iniPath;
    // Drive letters of the remote unit's paths and the folders they stand for ([DriveMap] C=/srv/quarn).
    std::vector<std::pair<char, std::string>> driveMap;

    // The line speed: the modem's with a modem type chosen, else by the special mode.
    long LineBaud() const { return enabledModem != 0 ? modem.baud : BaudForComms(comms); }
};

// Reads every setting; the test-mode switches are honoured only with enabletestmodes, and are written back
// as 0 otherwise. Values outside what the settings can mean fall back to their defaults.
void ReadSettings(ServerSettings& s, plat::ProfileFile& ini, const InstallationSettings& install,
                  const CServerCommandLineInfo& cmd);
// The modem type's name and description (type 0 is "Direct", no modem).
void ReadModemType(ServerSettings& s, const plat::ProfileFile& ini);
// The chosen type's commands and timings; read again before every port open.
void ReadModemCommands(ServerSettings& s, const plat::ProfileFile& ini);
// The names of [Modem] Type1, Type2, ... up to the first empty one.
std::vector<std::string> ModemTypeNames(const plat::ProfileFile& ini);

// [Info] Active and Started (running = true) or Active and Stopped.
void WriteInfoState(plat::ProfileFile& ini, bool running, std::time_t now);

// The window sections whose Active key reopens the window at the next start, in the order they reopen.
constexpr std::array<const char*, 6> kReopenSections = {"History",           "Link Info", "Diagnostics",
                                                        "RS232ErrorDisplay", "About",     "Progress"};

// Drops one trailing "\" (or "/") of a folder the operator typed.
std::string DropTrailingSeparator(std::string folder);

} // namespace quendar
