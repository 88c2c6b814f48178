#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "commserver/HistoryLog.h"
#include "commserver/app/InstanceLock.h"
#include "commserver/app/ServerSettings.h"
#include "commserver/app/StatusReply.h"

using namespace quendar;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(ServerCommandLine, SwitchesAndTheIniFile) {
    struct Case {
        std::vector<std::string> args;
        bool banner, logger, tray, testModes;
        std::string ini;
    };
    const Case cases[] = {
        {{}, true, true, true, false, ""},
        {{"/ini", "C:\\X\\MY.INI", "/nobanner"}, false, true, true, false, "C:\\X\\MY.INI"},
        {{"-NoApplicationTray", "/DONTSTARTCOMMONLOGGER", "/EnableTestModes"}, true, false, false, true, ""},
        {{"/ini"}, true, true, true, false, ""}, // no file follows: the default stays
        {{"/unknown", "plain", "/ini", "a.ini"}, true, true, true, false, "a.ini"},
        {{"/ini", "/home/op/q.ini", "-nobanner"}, false, true, true, false, "/home/op/q.ini"},
        {{"--enabletestmodes", "--ini", "q.ini", "--NoBanner"}, false, true, true, true, "q.ini"},
        {{"--", "---nobanner"}, true, true, true, false, ""},
    };
    for (const Case& c : cases) {
        const CServerCommandLineInfo cmd = ParseServerCommandLine(c.args);
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(!cmd.noBanner, c.banner);
        EXPECT_EQ(!cmd.dontStartCommonLogger, c.logger);
        EXPECT_EQ(!cmd.noApplicationTray, c.tray);
        EXPECT_EQ(cmd.enableTestModes, c.testModes);
        EXPECT_EQ(cmd.iniFile, c.ini);
    }
}

TEST(ServerCommandLine, WindowsStyleIniPathFindsTheFileWhateverItsCase) {
    QTemporaryDir dir;
    const std::string local = dir.filePath(QStringLiteral("MY.INI")).toStdString();
    std::ofstream(local) << "[A]\n";
    CServerCommandLineInfo cmd;
    cmd.iniFile = "C:" + QString(dir.path()).replace(u'/', u'\\').toStdString() + "\\my.ini";
    EXPECT_EQ(ServerIniPath(cmd), local);
}

class SettingsTest : public ::testing::Test {
protected:
    std::string file(const char* name, const std::string& bytes) {
        const std::string p = dir_.filePath(QString::fromLatin1(name)).toStdString();
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    QTemporaryDir dir_;
};

TEST_F(SettingsTest, MissingFileGivesTheDefaultsAndTestModesAreWrittenBackOff) {
    plat::ProfileFile ini(dir_.filePath(QStringLiteral("Quendar32.Ini")).toStdString());
    ServerSettings s;
    ReadSettings(s, ini, {}, {});
    EXPECT_EQ(s.portNumber, 0);
    EXPECT_EQ(s.previousPortNumber, 0);
    EXPECT_EQ(s.alwaysOnTop, 0);
    EXPECT_EQ(s.ackTimer, 3);
    EXPECT_EQ(s.getTimer, 15);
    EXPECT_EQ(s.sendTimer, 6);
    EXPECT_EQ(s.receiveTimer, 4);
    EXPECT_EQ(s.opticalDelay, 20);
    EXPECT_EQ(s.viewTypes, 2047);
    EXPECT_EQ(s.logTypes, 2047);
    EXPECT_EQ(s.logStatus, 0);
    EXPECT_EQ(s.modemDescription, "Direct");
    EXPECT_FALSE(s.modemInUse);
    EXPECT_EQ(s.securityLevel, 0);
    EXPECT_FALSE(s.commonLoggerOn);
    EXPECT_EQ(s.LineBaud(), 19200);
    EXPECT_EQ(readAll(ini.Path()), "[TestMode]\nCorruptData=0\nLostData=0\n");
}

TEST_F(SettingsTest, TestModesNeedTheSwitch) {
    const std::string text = "[TestMode]\nCorruptData=1\nLostData=1\n";
    plat::ProfileFile ini(file("t.ini", text));
    ServerSettings s;
    CServerCommandLineInfo cmd;
    cmd.enableTestModes = true;
    ReadSettings(s, ini, {}, cmd);
    EXPECT_TRUE(s.corruptData);
    EXPECT_TRUE(s.lostData);
    EXPECT_EQ(readAll(ini.Path()), text);
    ReadSettings(s, ini, {}, {});
    EXPECT_FALSE(s.corruptData);
    EXPECT_FALSE(s.lostData);
    EXPECT_EQ(readAll(ini.Path()), "[TestMode]\nCorruptData=0\nLostData=0\n");
}

TEST_F(SettingsTest, FullFileAndValuesOutOfRange) {
    plat::ProfileFile ini(file("full.ini", "[Communications]\nComPort=4\n[Settings]\nAlwaysOnTop=2\n"
                                           "[SpecialModes]\nComms=3\nPhantomDSR=1\n"
                                           "[LinkTimers]\nAckTimer=5\nGetTimer=0\nSendTimer=-3\nReceiveTimer=abc\n"
                                           "OpticalDelay=201\n"
                                           "[HistoryDisplay]\nViewTypes=0x7FE\nLogTypes=2046\nLogStatus=1\n"
                                           "LogFile=/var/log/q.log\n"
                                           "[Modem]\nEnabledModem=2\nType1=Other\nType2=TestModem\n"
                                           "[Modem TestModem]\nDescription=Test modem 56k\nInit0=ATZ\nInit3=AT&F\n"
                                           "DeInit1=ATH\nResponseDelay=200\nInterCommandDelay=0\nBaud=38400\n"
                                           "HangUpTimeOut=7\nInactivityHangUp=60\n"
                                           "[Security]\nEnforceSecurity=9\nUserTablesPath=C:\\Users\\\n"));
    ServerSettings s;
    ReadSettings(s, ini, {}, {});
    EXPECT_EQ(s.portNumber, 4);
    EXPECT_EQ(s.alwaysOnTop, 2);
    EXPECT_EQ(s.comms, 3);
    EXPECT_TRUE(s.phantomDSR);
    EXPECT_EQ(s.ackTimer, 5);
    EXPECT_EQ(s.getTimer, 15);    // 0 would resend without end: the default
    EXPECT_EQ(s.sendTimer, 6);    // negative: the default
    EXPECT_EQ(s.receiveTimer, 4); // no digits reads as 0: the default
    EXPECT_EQ(s.opticalDelay, 20);
    EXPECT_EQ(s.viewTypes, 0); // "0x7FE" reads as 0, as on Windows
    EXPECT_EQ(s.logTypes, 2046);
    EXPECT_EQ(s.logStatus, 1);
    EXPECT_EQ(s.logFile, "/var/log/q.log");
    EXPECT_EQ(s.modemSection, "Modem TestModem");
    EXPECT_EQ(s.modemDescription, "Test modem 56k");
    EXPECT_TRUE(s.modemInUse);
    EXPECT_EQ(s.modem.init[0], "ATZ");
    EXPECT_EQ(s.modem.init[3], "AT&F");
    EXPECT_EQ(s.modem.deInit[1], "ATH");
    EXPECT_EQ(s.modem.responseDelayMs, 200);
    EXPECT_EQ(s.modem.interCommandDelayMs, 0);
    EXPECT_EQ(s.modem.baud, 38400);
    EXPECT_EQ(s.modem.hangUpTimeOutS, 7);
    EXPECT_EQ(s.modem.inactivityHangUpS, 60);
    EXPECT_EQ(s.LineBaud(), 38400);
    EXPECT_EQ(s.securityLevel, 2); // beyond the levels there are: the highest
    EXPECT_EQ(s.userTablesPath, "C:\\Users\\");
    EXPECT_EQ(ModemTypeNames(ini), (std::vector<std::string>{"Other", "TestModem"}));

    // Ports outside the list are no port at all.
    for (const char* port : {"35", "-1", "99"}) {
        plat::ProfileFile p(file("port.ini", std::string("[Communications]\nComPort=") + port + "\n"));
        ReadSettings(s, p, {}, {});
        EXPECT_EQ(s.portNumber, kNoPort) << port;
        EXPECT_EQ(PortName(s.portNumber), "No Port");
    }
    EXPECT_EQ(PortName(0), "COM1");
    EXPECT_EQ(PortName(34), "COM35");
}

TEST_F(SettingsTest, ModemTypeWithoutNameOrSectionKeepsDefaults) {
    plat::ProfileFile ini(file("m.ini", "[Modem]\nEnabledModem=3\nType3=Gone\n"));
    ServerSettings s;
    ReadSettings(s, ini, {}, {});
    EXPECT_EQ(s.modemSection, "Modem Gone");
    EXPECT_EQ(s.modemDescription, "Unknown");
    EXPECT_EQ(s.modem.init[0], "");
    EXPECT_EQ(s.modem.responseDelayMs, 3000);
    EXPECT_EQ(s.modem.baud, 19200);
    plat::ProfileFile noName(file("n.ini", "[Modem]\nEnabledModem=1\n"));
    ReadSettings(s, noName, {}, {});
    EXPECT_EQ(s.modemSection, "");
    EXPECT_FALSE(s.modemInUse);
}

TEST_F(SettingsTest, InstallationLocksLevelAndFolderAndSwitchesTheLoggerOn) {
    plat::ProfileFile install(
        file("QUARN Comms Server.Ini",
             "[QUARN Installation]\nDisableStartupBanners=1\nDisableApplicationTray=0\n"
             "ExePath=/opt/quarn\n[QUARN Security]\nConnectLevel=30000\nUserTablesPath=/srv/users\n"));
    InstallationSettings inst = ReadInstallationSettings(install);
    EXPECT_TRUE(inst.disableStartupBanners);
    EXPECT_FALSE(inst.disableApplicationTray);
    EXPECT_EQ(inst.connectLevel, 3000); // four characters only
    plat::ProfileFile ini(file("q.ini", "[Security]\nEnforceSecurity=0\nUserTablesPath=/home/x\n"));
    inst.connectLevel = 3;
    ServerSettings s;
    ReadSettings(s, ini, inst, {});
    EXPECT_EQ(s.securityLevel, 2);
    EXPECT_TRUE(s.securityLocked);
    EXPECT_EQ(s.userTablesPath, "/srv/users");
    EXPECT_TRUE(s.folderLocked);
    EXPECT_TRUE(s.commonLoggerOn);
    inst = {};
    ReadSettings(s, ini, inst, {});
    EXPECT_FALSE(s.securityLocked);
    EXPECT_FALSE(s.folderLocked);
    EXPECT_EQ(s.userTablesPath, "/home/x");
}

TEST(ServerInfo, StateAndTimes) {
    QTemporaryDir dir;
    plat::ProfileFile ini(dir.filePath(QStringLiteral("i.ini")).toStdString());
    std::tm tm{};
    tm.tm_year = 2011 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 5;
    tm.tm_hour = 7;
    tm.tm_min = 8;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    EXPECT_EQ(comms::FormatEventTime(t), "05/12/2011 07:08:09");
    WriteInfoState(ini, true, t);
    WriteInfoState(ini, false, t + 1);
    EXPECT_EQ(readAll(ini.Path()),
              "[Info]\nActive=Inactive\nStarted=05/12/2011 07:08:09\nStopped=05/12/2011 07:08:10\n");
    EXPECT_EQ(DropTrailingSeparator("C:\\Users\\"), "C:\\Users");
    EXPECT_EQ(DropTrailingSeparator("C:\\Users"), "C:\\Users");
    EXPECT_EQ(DropTrailingSeparator(""), "");
}

std::uint32_t u32(const StatusReply& r, int at) {
    std::uint32_t v;
    std::memcpy(&v, r.data() + at, 4);
    return v;
}

TEST(StatusReplyRecord, LayoutAndCutTexts) {
    StatusInputs in;
    in.portNumber = -1;
    in.modemType = 2;
    in.modemDescription = std::string(300, 'm');
    in.uiStatus = 9;
    in.programPath = "/opt/quarn/quendar32";
    in.iniPath = std::string(400, 'i');
    in.transfer.fileName = "C:\\DATA\\AREA7.TXT";
    in.transfer.mode = 2001;
    in.transfer.size = 5000;
    in.transfer.bytesReceived = 1020;
    in.transfer.completed = true;
    in.timers = {3, 15, 6, 4, 20};
    in.statisticsChangeCount = 44;
    in.counters[0] = 123;
    in.counters[19] = 456;
    in.modemSample = 0xB0;
    in.historySecond = 77;
    in.rxHistory = {1, 2, 3, 4, 5};
    in.txHistory = {6, 7, 8, 9, 10};
    in.currentSession[0] = 'J';
    in.lastSession[579] = 0x5A;
    in.securityState = 1;
    in.securityCounters = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    in.computerName = "AVERYLONGHOSTNAME-XYZ";
    const StatusReply r = BuildStatusReply(in);
    ASSERT_EQ(r.size(), 3364u);
    EXPECT_EQ(u32(r, 0), 2u);
    EXPECT_EQ(u32(r, 4), 3356u);
    EXPECT_EQ(u32(r, 8), 0xFFFFFFFFu);
    EXPECT_EQ(u32(r, 12), 2u);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(r.data() + 16)), 128u);
    EXPECT_EQ(u32(r, 148), 9u);
    EXPECT_STREQ(reinterpret_cast<const char*>(r.data() + 152), "/opt/quarn/quendar32");
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(r.data() + 674)), 261u);
    EXPECT_STREQ(reinterpret_cast<const char*>(r.data() + 936), "C:\\DATA\\AREA7.TXT");
    EXPECT_EQ(u32(r, 936 + 1024), 2001u);
    EXPECT_EQ(u32(r, 936 + 1028), 5000u);
    EXPECT_EQ(u32(r, 936 + 1032), 1020u);
    EXPECT_EQ(u32(r, 936 + 1048), 1u);
    EXPECT_EQ(u32(r, 1992), 3u);
    EXPECT_EQ(u32(r, 2008), 20u);
    EXPECT_EQ(u32(r, 2012), 44u);
    EXPECT_EQ(u32(r, 2016), 123u);
    EXPECT_EQ(u32(r, 2016 + 19 * 4), 456u);
    EXPECT_EQ(u32(r, 2096), 0xB0u);
    EXPECT_EQ(u32(r, 2100), 77u);
    EXPECT_EQ(u32(r, 2104), 1u);
    EXPECT_EQ(u32(r, 2124), 6u);
    EXPECT_EQ(u32(r, 2140), 10u);
    EXPECT_EQ(r[2148], 'J');
    EXPECT_EQ(r[2728 + 579], 0x5A);
    EXPECT_EQ(u32(r, 3308), 1u);
    EXPECT_EQ(u32(r, 3344), 9u);
    EXPECT_STREQ(reinterpret_cast<const char*>(r.data() + 3348), "AVERYLONGHOSTNA");
}

TEST(CopyData, CommandWordNeedsFourBytes) {
    const std::uint8_t seven[] = {7, 0, 0, 0, 99};
    EXPECT_EQ(CopyDataCommandOf(seven), 7u);
    EXPECT_FALSE(CopyDataCommandOf(std::span<const std::uint8_t>(seven, 3)));
    EXPECT_FALSE(CopyDataCommandOf({}));
    EXPECT_EQ(ManagerHelloBytes(), (std::array<std::uint8_t, 8>{9, 0, 0, 0, 0, 0, 0, 0}));
}

// The one-server lock: taken once, refused to a second taker until the first lets go, and never taken on a
// file that is not this user's own regular file closed to others (a link, a pipe, another user's file, a file
// others may write), whichever server would then think itself alone.
TEST(ServerInstanceLock, OneHolderAtATimeAndOnlyOnAFileOfItsOwn) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string file = folder + "/" + kInstanceLockName;
    InstanceLock first, second;
    ASSERT_EQ(first.Take(folder), InstanceLock::Result::Taken) << first.problem();
    EXPECT_EQ(second.Take(folder), InstanceLock::Result::HeldByPeer);
    struct stat st {};
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    first.Release();
    EXPECT_EQ(second.Take(folder), InstanceLock::Result::Taken);
    second.Release();

    struct Case {
        const char* what;
        std::function<void()> plant;
        const char* why;
    };
    const std::string elsewhere = folder + "/elsewhere";
    const Case cases[] = {
        {"a link", [&] { std::filesystem::create_symlink(elsewhere, file); }, "symbolic link"},
        {"a pipe", [&] { ::mkfifo(file.c_str(), 0600); }, "not a regular file"},
        {"a file others may write",
         [&] {
             std::ofstream(file).put('x');
             ::chmod(file.c_str(), 0622);
         },
         "others may write"},
        {"another user's file",
         [&] {
             std::ofstream(file).put('x');
             ::chmod(file.c_str(), 0600);
             if (::geteuid() == 0 && ::chown(file.c_str(), 65534, 65534) != 0)
                 ADD_FAILURE() << "chown";
         },
         "another user"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.why) == "another user" && ::geteuid() != 0)
            continue;
        std::filesystem::remove(file);
        c.plant();
        InstanceLock lock;
        EXPECT_EQ(lock.Take(folder), InstanceLock::Result::Unusable);
        EXPECT_NE(lock.problem().find(c.why), std::string::npos) << lock.problem();
        EXPECT_FALSE(lock.Held());
    }
    EXPECT_FALSE(std::filesystem::exists(elsewhere)) << "the link is not followed";
    InstanceLock none;
    EXPECT_EQ(none.Take(""), InstanceLock::Result::Unusable);
}

} // namespace
