#include "commserver/app/ServerSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "commserver/HistoryLog.h"
#include "platform/Paths.h"

namespace quendar {
namespace {

int positiveOr(int value, int def, int max = 3600) {
    return (value >= 1 && value <= max) ? value : def;
}

} // namespace

void CServerCommandLineInfo::ParseParam(const std::string& param, bool flag, bool last) {
    if (!flag) {
        if (wantIni_) {
            iniFile = param;
            wantIni_ = false;
        } else {
            others.push_back(param);
        }
        return;
    }
    std::string name;
    for (char ch : param)
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (name == "nobanner")
        noBanner = true;
    else if (name == "dontstartcommonlogger")
        dontStartCommonLogger = true;
    else if (name == "ini")
        wantIni_ = true;
    else if (name == "noapplicationtray")
        noApplicationTray = true;
    else if (name == "enabletestmodes")
        enableTestModes = true;
}

CServerCommandLineInfo ParseServerCommandLine(const std::vector<std::string>& args) {
    CServerCommandLineInfo cmd;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // Only the switches the server knows count as switches: on Linux a path also starts with "/". A switch
        // is introduced by "/" as on Windows, or by "-" or "--" as Linux programs take them.
        bool flag = false;
        std::size_t lead = 0;
        if (arg.size() > 1 && (arg[0] == '/' || arg[0] == '-')) {
            lead = arg.compare(0, 2, "--") == 0 ? 2 : 1;
            std::string name;
            for (char ch : arg.substr(lead))
                name += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            flag = name == "nobanner" || name == "dontstartcommonlogger" || name == "ini" ||
                   name == "noapplicationtray" || name == "enabletestmodes";
        }
        cmd.ParseParam(flag ? arg.substr(lead) : arg, flag, i + 1 == args.size());
    }
    return cmd;
}

std::string SystemFolder() {
    const char* env = std::getenv("VORD_SYSTEM_FOLDER");
    return (env && *env) ? env : "/etc/quarn";
}

std::string InstallationIniPath() {
    const QString folder = QString::fromStdString(SystemFolder());
    const QStringList found = plat::listFiles(folder, QString::fromLatin1(kInstallationIniName));
    if (found.isEmpty())
        return {};
    return QDir(folder).filePath(found.first()).toStdString();
}

std::string ServerIniPath(const CServerCommandLineInfo& cmd) {
    const QString given =
        cmd.iniFile.empty() ? QString::fromLatin1(kServerIniName) : QString::fromStdString(cmd.iniFile);
    QString local = plat::resolvePath(given);
    if (QFileInfo(local).isRelative())
        local = QDir::current().absoluteFilePath(local);
    return QDir::cleanPath(local).toStdString();
}

std::string SettingsFileProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return std::strerror(errno);
        // Not there yet: it can be made only where its folder exists.
        const QString folder = QFileInfo(QString::fromStdString(path)).absolutePath();
        struct stat dir {};
        if (::stat(QFile::encodeName(folder).constData(), &dir) != 0 || !S_ISDIR(dir.st_mode))
            return "the folder " + folder.toStdString() + " does not exist";
        return {};
    }
    if (S_ISDIR(st.st_mode))
        return "it is a folder";
    if (!S_ISREG(st.st_mode))
        return "it is not a regular file";
    // Opened as every lookup opens it; without blocking, should it be replaced by something that would.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
    return {};
}

std::string UnusableSettingsEvent(const std::string& path, const std::string& problem) {
    return "Settings File Cannot Be Used: " + path + " (" + problem + ")";
}

std::string UnusableSettingsMessage(const std::string& path, const std::string& problem) {
    return "The settings file " + path + " cannot be used: " + problem +
           ".\nThe server runs on its default settings, and no change to them will be kept.";
}

InstallationSettings ReadInstallationSettings(const plat::ProfileFile& install) {
    InstallationSettings s;
    s.disableStartupBanners = install.GetInt("QUARN Installation", "DisableStartupBanners", 0) != 0;
    s.disableApplicationTray = install.GetInt("QUARN Installation", "DisableApplicationTray", 0) != 0;
    s.exePath = install.GetString("QUARN Installation", "ExePath");
    s.databasePath = install.GetString("QUARN Common Logger", "DatabasePath");
    // The level is read from at most four characters.
    s.connectLevel = plat::ProfileFile::ParseInt(install.GetString("QUARN Security", "ConnectLevel").substr(0, 4));
    s.userTablesPath = install.GetString("QUARN Security", "UserTablesPath");
    return s;
}

std::string PortName(int portNumber) {
    if (portNumber < 0 || portNumber >= kPortCount)
        return "No Port";
    return "COM" + std::to_string(portNumber + 1);
}

long BaudForComms(int comms) {
    switch (comms) {
    case 1:
    case 2:
        return 9600;
    case 3:
        return 38400;
    case 4:
        return 57600;
    default:
        return 19200;
    }
}

void ReadSettings(ServerSettings& s, plat::ProfileFile& ini, const InstallationSettings& install,
                  const CServerCommandLineInfo& cmd) {
    int port = ini.GetInt("Communications", "ComPort", 0);
    if (port < 0 || port >= kPortCount)
        port = kNoPort;
    s.portNumber = s.previousPortNumber = port;
    s.alwaysOnTop = ini.GetInt("Settings", "AlwaysOnTop", 0);
    if (s.alwaysOnTop < 0 || s.alwaysOnTop > 2)
        s.alwaysOnTop = 0;
    s.comms = ini.GetInt("SpecialModes", "Comms", 0);
    if (s.comms < 0 || s.comms > 4)
        s.comms = 0;
    s.phantomDSR = ini.GetInt("SpecialModes", "PhantomDSR", 0) != 0;
    if (cmd.enableTestModes) {
        s.corruptData = ini.GetInt("TestMode", "CorruptData", 0) != 0;
        s.lostData = ini.GetInt("TestMode", "LostData", 0) != 0;
    } else {
        s.corruptData = s.lostData = false;
        ini.WriteInt("TestMode", "CorruptData", 0);
        ini.WriteInt("TestMode", "LostData", 0);
    }
    s.ackTimer = positiveOr(ini.GetInt("LinkTimers", "AckTimer", 3), 3);
    s.getTimer = positiveOr(ini.GetInt("LinkTimers", "GetTimer", 15), 15);
    s.sendTimer = positiveOr(ini.GetInt("LinkTimers", "SendTimer", 6), 6);
    s.receiveTimer = positiveOr(ini.GetInt("LinkTimers", "ReceiveTimer", 4), 4);
    s.opticalDelay = ini.GetInt("LinkTimers", "OpticalDelay", 20);
    if (s.opticalDelay < 0 || s.opticalDelay > 200)
        s.opticalDelay = 20;
    s.viewTypes = ini.GetInt("HistoryDisplay", "ViewTypes", 2047) & 0xFFF;
    s.logTypes = ini.GetInt("HistoryDisplay", "LogTypes", 2047) & 0xFFF;
    s.logStatus = ini.GetInt("HistoryDisplay", "LogStatus", 0) == 1 ? 1 : 0;
    s.logFile = ini.GetString("HistoryDisplay", "LogFile").substr(0, 256);

    s.modemDescription = "Direct";
    s.enabledModem = ini.GetInt("Modem", "EnabledModem", 0);
    if (s.enabledModem < 0)
        s.enabledModem = 0;
    ReadModemType(s, ini);
    ReadModemCommands(s, ini);

    if (install.connectLevel > 0) {
        s.securityLevel = install.connectLevel - 1;
        s.securityLocked = true;
    } else {
        s.securityLevel = ini.GetInt("Security", "EnforceSecurity", 0);
        s.securityLocked = false;
    }
    // Levels beyond the three there are would never be shown or obeyed as such: take the nearest.
    s.securityLevel = s.securityLevel < 0 ? 0 : (s.securityLevel > 2 ? 2 : s.securityLevel);
    if (!install.userTablesPath.empty()) {
        s.userTablesPath = install.userTablesPath;
        s.folderLocked = true;
    } else {
        s.userTablesPath = ini.GetString("Security", "UserTablesPath");
        s.folderLocked = false;
    }
    s.iniPath = ini.Path();
    s.driveMap.clear();
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string root = ini.GetString("DriveMap", std::string(1, letter));
        if (!root.empty())
            s.driveMap.emplace_back(letter, root);
    }
    // As the main program reads such paths: drive C is this system's root.
    if (s.driveMap.empty())
        s.driveMap.emplace_back('C', "/");
    s.exePath = install.exePath;
    s.databasePath = install.databasePath;
    s.commonLoggerOn = !s.exePath.empty() || !s.databasePath.empty();
}

void ReadModemType(ServerSettings& s, const plat::ProfileFile& ini) {
    s.modemSection.clear();
    s.modemInUse = false;
    if (s.enabledModem == 0) {
        s.modemDescription = "Direct";
        return;
    }
    const std::string name = ini.GetString("Modem", "Type" + std::to_string(s.enabledModem));
    if (name.empty())
        return;
    s.modemSection = "Modem " + name;
    s.modemDescription = ini.GetString(s.modemSection, "Description", "Unknown").substr(0, 128);
    s.modem.inactivityHangUpS = positiveOr(ini.GetInt(s.modemSection, "InactivityHangUp", 180), 180, 86400);
}

void ReadModemCommands(ServerSettings& s, const plat::ProfileFile& ini) {
    if (s.modemSection.empty())
        return;
    for (std::size_t i = 0; i < s.modem.init.size(); ++i)
        s.modem.init[i] = ini.GetString(s.modemSection, "Init" + std::to_string(i));
    for (std::size_t i = 0; i < s.modem.deInit.size(); ++i)
        s.modem.deInit[i] = ini.GetString(s.modemSection, "DeInit" + std::to_string(i));
    s.modem.responseDelayMs = ini.GetInt(s.modemSection, "ResponseDelay", 3000);
    if (s.modem.responseDelayMs < 0 || s.modem.responseDelayMs > 600000)
        s.modem.responseDelayMs = 3000;
    s.modem.interCommandDelayMs = ini.GetInt(s.modemSection, "InterCommandDelay", 1000);
    if (s.modem.interCommandDelayMs < 0 || s.modem.interCommandDelayMs > 600000)
        s.modem.interCommandDelayMs = 1000;
    s.modem.baud = ini.GetInt(s.modemSection, "Baud", 19200);
    if (s.modem.baud <= 0 || s.modem.baud > 115200)
        s.modem.baud = 19200;
    s.modem.hangUpTimeOutS = positiveOr(ini.GetInt(s.modemSection, "HangUpTimeOut", 5), 5, 600);
    s.modemInUse = true;
}

std::vector<std::string> ModemTypeNames(const plat::ProfileFile& ini) {
    std::vector<std::string> names;
    for (int n = 1; n < 1000; ++n) {
        std::string name = ini.GetString("Modem", "Type" + std::to_string(n));
        if (name.empty())
            break;
        names.push_back(std::move(name));
    }
    return names;
}

void WriteInfoState(plat::ProfileFile& ini, bool running, std::time_t now) {
    ini.WriteString("Info", "Active", running ? "Active" : "Inactive");
    ini.WriteString("Info", running ? "Started" : "Stopped", comms::FormatEventTime(now));
}

std::string DropTrailingSeparator(std::string folder) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder;
}

} // namespace quendar
