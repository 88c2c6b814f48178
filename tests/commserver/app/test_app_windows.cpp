#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>

#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include <unistd.h>

#include "FakeEngine.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/CMainFrame.h"
#include "commserver/app/ServerDialogs.h"
#include "commserver/app/StatusReply.h"
#include "platform/SerialPort.h"
#include "platform/WindowMessages.h"

using namespace quendar;
namespace wm = plat::winmsg;

namespace {

class ServerAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        qputenv("VORD_WINDOWS_DIR", QFile::encodeName(windows_.path()));
        qputenv("VORD_SYSTEM_FOLDER", QFile::encodeName(system_.path()));
        iniPath_ = dir_.filePath(QStringLiteral("Quendar32.Ini")).toStdString();
    }
    void TearDown() override {
        if (app)
            app->ExitInstance();
        app.reset();
        QCoreApplication::processEvents();
        qunsetenv("VORD_WINDOWS_DIR");
        qunsetenv("VORD_SYSTEM_FOLDER");
    }
    void writeIni(const std::string& text) const { std::ofstream(iniPath_, std::ios::binary) << text; }
    void writeInstall(const std::string& text) const {
        std::ofstream(system_.filePath(QStringLiteral("QUARN Comms Server.Ini")).toStdString(), std::ios::binary)
            << text;
    }
    std::string ini() const {
        std::ifstream in(iniPath_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    plat::ProfileFile& profile() { return app->profile; }
    bool start(std::vector<std::string> extra = {}) {
        app = std::make_unique<CCommsServerApp>([this](comms::HistoryLog&) {
            auto e = std::make_unique<FakeEngine>();
            engine = e.get();
            return e;
        });
        std::vector<std::string> args = {"/nobanner", "/ini", iniPath_};
        args.insert(args.end(), extra.begin(), extra.end());
        return app->InitInstance(args);
    }
    CMainFrame& frame() { return *app->mainFrame; }
    template <class T> T* window(ServerWindowKind kind) { return dynamic_cast<T*>(frame().Window(kind)); }

    QTemporaryDir dir_;
    QTemporaryDir windows_;
    QTemporaryDir system_;
    std::string iniPath_;
    std::unique_ptr<CCommsServerApp> app;
    FakeEngine* engine = nullptr;
};

// A window of another program that records what it is sent.
struct Peer {
    wm::WindowListener listener;
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<wm::WindowMessage> got;
    explicit Peer(const char* title) {
        listener.registerWindow("PeerClass", title, [this](const wm::WindowMessage& m) -> std::uint64_t {
            std::lock_guard lock(mutex);
            got.push_back(m);
            cv.notify_all();
            return 1;
        });
    }
    bool waitFor(std::size_t n, int ms = 5000) {
        // The server answers from its window thread, so keep that thread running while waiting.
        return pumpUntil(
            [&] {
                std::lock_guard lock(mutex);
                return got.size() >= n;
            },
            ms);
    }
};

TEST_F(ServerAppTest, StartRecordsActiveStartsTheWorkerAndExitStopsItBeforeTheTables) {
    writeIni("[Security]\nEnforceSecurity=1\nUserTablesPath=/srv/users\\\n");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    EXPECT_EQ(profile().GetString("Info", "Active"), "Active");
    EXPECT_FALSE(profile().GetString("Info", "Started").empty());
    EXPECT_EQ(engine->starts, 1);
    EXPECT_EQ(engine->requests, std::vector<int>{comms::WorkerRequest::Reopen});
    EXPECT_TRUE(engine->tablesOpen);
    EXPECT_EQ(engine->tablesLevel, 1);
    EXPECT_EQ(engine->configured.portNumber, 0);
    EXPECT_TRUE(engine->notificationFlag);
    EXPECT_NE(wm::findWindow(kServerWindowClass, kServerWindowTitle), 0u);
    EXPECT_EQ(app->history.ChangeCounter(), 1u);

    ASSERT_TRUE(app->ExitInstance());
    EXPECT_FALSE(engine->running);
    EXPECT_FALSE(engine->closedWhileRunning);
    EXPECT_FALSE(engine->tablesOpen);
    EXPECT_EQ(profile().GetString("Info", "Active"), "Inactive");
    EXPECT_FALSE(profile().GetString("Info", "Stopped").empty());
}

TEST_F(ServerAppTest, TestModeWarningOnlyWithTheSwitch) {
    writeIni("[TestMode]\nCorruptData=1\n");
    {
        ScriptedUi ui; // no message expected
        ASSERT_TRUE(start());
        EXPECT_FALSE(engine->configured.corruptData);
        EXPECT_EQ(profile().GetInt("TestMode", "CorruptData", 9), 0);
        app->ExitInstance();
        app.reset();
    }
    writeIni("[TestMode]\nCorruptData=1\n");
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, QStringLiteral("WARNING:  Test modes are Enabled\nThese will periodically corrupt"));
    ASSERT_TRUE(start({"/enabletestmodes"}));
    EXPECT_TRUE(engine->configured.corruptData);
    EXPECT_EQ(ui.messages().at(0).style, plat::MB_OK | plat::MB_ICONEXCLAMATION);
}

// A settings file that cannot be used: the server runs on its defaults and says so once, in a box and in the
// history; nothing else is asked or said.
TEST_F(ServerAppTest, AnUnusableSettingsFileIsSaidOnceAndTheDefaultsServe) {
    QTemporaryDir scratch;
    const QString unreadable = scratch.filePath(QStringLiteral("locked.ini"));
    {
        QFile f(unreadable);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Communications]\nComPort=4\n");
    }
    QFile::setPermissions(unreadable, QFileDevice::Permissions());
    const struct {
        const char* what;
        QString path;
        const char* reason;
    } cases[] = {
        {"a folder", scratch.path(), "it is a folder"},
        {"a file in a folder that does not exist", scratch.filePath(QStringLiteral("gone/Quendar32.Ini")),
         "does not exist"},
        {"a file it may not read", unreadable, "Permission denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.path == unreadable && ::access(QFile::encodeName(unreadable).constData(), R_OK) == 0) {
            // Running as root: the file can be read after all, so there is nothing to say.
            continue;
        }
        iniPath_ = c.path.toStdString();
        ScriptedUi ui;
        ui.expectMessage(plat::IDOK, QStringLiteral("The settings file ") + c.path + QStringLiteral(" cannot be used"));
        ASSERT_TRUE(start());
        EXPECT_EQ(engine->starts, 1);
        EXPECT_EQ(engine->configured.portNumber, 0) << "the default port";
        // The box comes once the server runs, and only once.
        ASSERT_TRUE(pumpUntil([&] { return ui.messages().size() == 1; }));
        EXPECT_TRUE(ui.messages()[0].prompt.contains(QString::fromLatin1(c.reason)))
            << ui.messages()[0].prompt.toStdString();
        EXPECT_TRUE(ui.messages()[0].prompt.contains(QStringLiteral("default settings")));
        EXPECT_EQ(ui.messages()[0].style, plat::MB_OK | plat::MB_ICONEXCLAMATION);
        int events = 0;
        for (const comms::HistoryEntry& e : app->history.Snapshot())
            if (e.text.find("Settings File Cannot Be Used: " + c.path.toStdString()) != std::string::npos) {
                ++events;
                EXPECT_EQ(e.code, comms::HistoryEventCode::Initialise | comms::HistoryEventCode::Failure);
            }
        EXPECT_EQ(events, 1);
        app->ExitInstance();
        app.reset();
        QCoreApplication::processEvents();
        EXPECT_EQ(ui.messages().size(), 1u) << "the exit says nothing more";
    }
    EXPECT_FALSE(QFileInfo::exists(scratch.filePath(QStringLiteral("gone")))) << "no folder is made for it";

    // A missing file in an existing folder is no problem: it is made at the first write.
    iniPath_ = scratch.filePath(QStringLiteral("new.ini")).toStdString();
    ScriptedUi quiet;
    ASSERT_TRUE(start());
    QCoreApplication::processEvents();
    EXPECT_TRUE(quiet.messages().empty());
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(iniPath_)));
}

TEST_F(ServerAppTest, ASecondServerLeavesTheFirstAlone) {
    ScriptedUi ui;
    ASSERT_TRUE(start());
    const std::string before = ini();
    CCommsServerApp second([](comms::HistoryLog&) { return std::make_unique<FakeEngine>(); });
    EXPECT_FALSE(second.InitInstance({"/nobanner", "/ini", iniPath_}));
    EXPECT_EQ(second.engine, nullptr);
    EXPECT_EQ(ini(), before); // nothing written by the second start
}

TEST_F(ServerAppTest, CloseMessageSavesOpenWindowsWhichReopenAtTheNextStart) {
    ScriptedUi ui;
    ASSERT_TRUE(start());
    frame().OnCommand(ServerCommand::OpenHistory);
    frame().OnCommand(ServerCommand::OpenDiagnostics);
    ASSERT_TRUE(frame().IsOpen(ServerWindowKind::History));
    window<CServerWindow>(ServerWindowKind::History)->move(40, 50);

    // What the main program does before an import.
    const wm::WindowHandle server = wm::findWindow(kServerWindowClass, kServerWindowTitle);
    ASSERT_NE(server, 0u);
    ASSERT_TRUE(wm::postMessage(server, wm::WM_CANCELMODE));
    ASSERT_TRUE(wm::postMessage(server, wm::WM_CLOSE));
    ASSERT_TRUE(pumpUntil([&] { return frame().Destroyed(); }));
    EXPECT_FALSE(engine->notificationFlag);
    EXPECT_FALSE(frame().TrayVisible());
    EXPECT_FALSE(frame().IsOpen(ServerWindowKind::History));
    EXPECT_EQ(wm::findWindow(kServerWindowClass, kServerWindowTitle), 0u);
    EXPECT_EQ(profile().GetInt("History", "Active", -1), 1);
    EXPECT_EQ(profile().GetInt("Diagnostics", "Active", -1), 1);
    EXPECT_EQ(profile().GetInt("Link Info", "Active", -1), 0);
    EXPECT_EQ(profile().GetInt("Progress", "Active", -1), 0);
    EXPECT_EQ(profile().GetInt("History", "x", -1), 40);
    EXPECT_EQ(profile().GetInt("History", "y", -1), 50);
    ASSERT_TRUE(app->ExitInstance());
    app.reset();
    QCoreApplication::processEvents();

    ASSERT_TRUE(start());
    ASSERT_TRUE(pumpUntil(
        [&] { return frame().IsOpen(ServerWindowKind::History) && frame().IsOpen(ServerWindowKind::Diagnostics); }));
    EXPECT_FALSE(frame().IsOpen(ServerWindowKind::LinkInfo));
    EXPECT_EQ(frame().Window(ServerWindowKind::History)->pos(), QPoint(40, 50));
}

TEST_F(ServerAppTest, CopyDataCommands) {
    ScriptedUi ui;
    ASSERT_TRUE(start());
    const wm::WindowHandle server = frame().Handle();
    auto send = [&](std::vector<std::uint8_t> bytes, std::uint64_t dwData = 0) {
        const auto r = wm::sendMessage(server, wm::WM_COPYDATA, 0, dwData, bytes);
        EXPECT_EQ(r, std::optional<std::uint64_t>(1));
    };
    // History twice: open, then closed.
    send({7, 0, 0, 0});
    ASSERT_TRUE(pumpUntil([&] { return frame().IsOpen(ServerWindowKind::History); }));
    send({7, 0, 0, 0});
    ASSERT_TRUE(pumpUntil([&] { return !frame().IsOpen(ServerWindowKind::History); }));
    // The other toggles.
    const std::pair<std::uint8_t, ServerWindowKind> toggles[] = {{3, ServerWindowKind::Diagnostics},
                                                                 {4, ServerWindowKind::Progress},
                                                                 {5, ServerWindowKind::About},
                                                                 {6, ServerWindowKind::LinkInfo}};
    for (const auto& [cmd, kind] : toggles) {
        send({cmd, 0, 0, 0});
        EXPECT_TRUE(pumpUntil([&, kind = kind] { return frame().IsOpen(kind); })) << int(cmd);
    }
    // Too short, unknown: nothing happens; reopen asks the worker.
    send({7, 0, 0});
    send({77, 0, 0, 0});
    send({10, 0, 0, 0});
    ASSERT_TRUE(pumpUntil([&] { return engine->requests.size() == 2; }));
    EXPECT_EQ(engine->requests.back(), comms::WorkerRequest::ReopenWhenAllowed);
    EXPECT_FALSE(frame().IsOpen(ServerWindowKind::History));

    // Status: the reply goes to the window named in dwData.
    Peer manager("Status Asker");
    send({1, 0, 0, 0}, manager.listener.handle());
    ASSERT_TRUE(manager.waitFor(1));
    const wm::WindowMessage& reply = manager.got.at(0);
    EXPECT_EQ(reply.msg, wm::WM_COPYDATA);
    EXPECT_EQ(reply.wParam, server);
    EXPECT_EQ(reply.lParam, server);
    ASSERT_EQ(reply.data.size(), 3364u);
    std::uint32_t words[2];
    std::memcpy(words, reply.data.data(), 8);
    EXPECT_EQ(words[0], 2u);
    EXPECT_EQ(words[1], 3356u);
    EXPECT_STREQ(reinterpret_cast<const char*>(reply.data.data() + StatusOffset::IniPath), iniPath_.c_str());
    EXPECT_EQ(reply.data[StatusOffset::Security], 0);     // security off
    EXPECT_EQ(reply.data[StatusOffset::Security + 4], 1); // the first security counter
    // Exit.
    send({8, 0, 0, 0});
    ASSERT_TRUE(pumpUntil([&] { return frame().Destroyed(); }));
    EXPECT_TRUE(app->closing);
    EXPECT_EQ(engine->requests.back(), comms::WorkerRequest::Quit);
}

TEST_F(ServerAppTest, ManagersAreGreetedAtStart) {
    Peer manager("quarn communications MANAGER");
    Peer other("Someone Else");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    ASSERT_TRUE(manager.waitFor(1));
    EXPECT_EQ(manager.got[0].msg, wm::WM_COPYDATA);
    EXPECT_EQ(manager.got[0].data, (std::vector<std::uint8_t>{9, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(manager.got[0].wParam, 0u);
    EXPECT_TRUE(other.got.empty());
}

TEST_F(ServerAppTest, TrayMenuAndAnimation) {
    writeIni("[Communications]\nComPort=2\n");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    EXPECT_TRUE(frame().TrayVisible());
    EXPECT_EQ(frame().TrayTip(), QStringLiteral("Quarn Communications"));
    frame().OnCommand(ServerCommand::OpenLinkInfo);
    frame().OnCommand(ServerCommand::Settings);
    const std::vector<TrayMenuEntry> menu = frame().TrayMenu();
    std::vector<QString> texts;
    for (const auto& e : menu)
        texts.push_back(e.text);
    EXPECT_EQ(texts, (std::vector<QString>{"&Activity on COM3", "", "&History ...", "&Link Info ...",
                                           "Dia&gnostics ...", "Serial Errors ...", "A&bout ...", "", "&Settings ...",
                                           "", "&Close Comms on COM3"}));
    EXPECT_EQ(menu[2].command, ServerCommand::OpenHistory);
    EXPECT_FALSE(menu[2].checked);
    EXPECT_EQ(menu[3].command, ServerCommand::CloseLinkInfo);
    EXPECT_TRUE(menu[3].checked);
    EXPECT_TRUE(menu[8].checked);
    EXPECT_FALSE(menu[8].enabled);
    EXPECT_EQ(menu[10].command, ServerCommand::AppExit);

    // Bytes moving swap the two activity pictures; a still line goes back to idle.
    engine->link.statistics.Add(comms::LinkCounter::RxBytes, 10);
    frame().OnActivity();
    EXPECT_TRUE(frame().TrayAnimating());
    frame().OnTrayTimer();
    EXPECT_EQ(frame().TrayPicture(), 1);
    engine->link.statistics.Add(comms::LinkCounter::TxBytes, 5);
    frame().OnTrayTimer();
    EXPECT_EQ(frame().TrayPicture(), 2);
    frame().OnTrayTimer();
    EXPECT_EQ(frame().TrayPicture(), 0);
    EXPECT_FALSE(frame().TrayAnimating());
}

TEST_F(ServerAppTest, NoTrayWhenTheCommandLineOrTheInstallationSaysSo) {
    ScriptedUi ui;
    ASSERT_TRUE(start({"/noapplicationtray"}));
    EXPECT_FALSE(frame().TrayVisible());
    app->ExitInstance();
    app.reset();
    writeInstall("[QUARN Installation]\nDisableApplicationTray=1\n");
    ASSERT_TRUE(start());
    EXPECT_FALSE(frame().TrayVisible());
}

TEST_F(ServerAppTest, CloseFromTheTrayMenuOrTheNoTrayWindowEndsLikeEveryOtherWayOut) {
    // The Close command runs inside the menu's own handling of the click: the menu must outlive it.
    const struct {
        const char* what;
        std::function<QMenu*(CMainFrame&)> menu;
    } cases[] = {
        {"tray menu",
         [](CMainFrame& f) {
             f.popupTrayMenu();
             return f.TrayMenuWidget();
         }},
        {"menu of the window shown without a tray",
         [](CMainFrame& f) {
             auto* window = qobject_cast<QMainWindow*>(f.NoTrayWindow());
             return window ? window->menuBar()->findChild<QMenu*>() : nullptr;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeIni("");
        ScriptedUi ui;
        ASSERT_TRUE(start());
        QPointer<QMenu> menu = c.menu(frame());
        ASSERT_FALSE(menu.isNull());
        QAction* closeAction = nullptr;
        for (QAction* a : menu->actions())
            if (a->text().startsWith(QStringLiteral("&Close Comms")))
                closeAction = a;
        ASSERT_NE(closeAction, nullptr);
        bool menuAliveAtClose = false;
        QObject::connect(&frame(), &CMainFrame::destroyed_window, [&] { menuAliveAtClose = !menu.isNull(); });
        closeAction->trigger();
        ASSERT_TRUE(pumpUntil([&] { return frame().Destroyed(); }));
        EXPECT_TRUE(menuAliveAtClose);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(menu.isNull()) << "the menu goes once the command is over";
        EXPECT_EQ(frame().NoTrayWindow(), nullptr);
        ASSERT_TRUE(app->ExitInstance());
        EXPECT_EQ(profile().GetString("Info", "Active"), "Inactive");
        EXPECT_FALSE(profile().GetString("Info", "Stopped").empty());
        app.reset();
    }
}

TEST_F(ServerAppTest, WithoutATrayTheMainWindowShowsMinimisedWithTheTrayMenu) {
    writeIni("[Communications]\nComPort=2\n");
    ScriptedUi ui;
    ASSERT_TRUE(start()); // the offscreen platform has no tray
    auto* window = qobject_cast<QMainWindow*>(frame().NoTrayWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quarn Communications"));
    auto* menu = window->menuBar()->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    frame().OnCommand(ServerCommand::OpenHistory);
    emit menu->aboutToShow(); // the entries follow what is open when the menu opens
    std::vector<QString> shown, model;
    for (QAction* a : menu->actions())
        shown.push_back(a->isSeparator() ? QString() : a->text());
    for (const TrayMenuEntry& e : frame().TrayMenu())
        model.push_back(e.text);
    EXPECT_EQ(shown, model);
    EXPECT_TRUE(menu->actions()[2]->isChecked()); // History is open

    // The menu's commands work from the window: Settings opens the settings window.
    menu->actions()[8]->trigger();
    ASSERT_TRUE(pumpUntil([&] { return frame().IsOpen(ServerWindowKind::Settings); }));
    app->ExitInstance();
    app.reset();

    // A tray switched off is no reason for the window: the server stays out of sight, as asked.
    ASSERT_TRUE(start({"/noapplicationtray"}));
    EXPECT_EQ(frame().NoTrayWindow(), nullptr);
}

TEST_F(ServerAppTest, WindowsWithoutAStoredPlaceOpenCascadedAndStoredPlacesAreKept) {
    writeIni("[About]\nx=300\ny=310\n");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    frame().OnCommand(ServerCommand::OpenHistory);
    frame().OnCommand(ServerCommand::OpenLinkInfo);
    frame().OnCommand(ServerCommand::OpenAbout);
    const QPoint history = frame().Window(ServerWindowKind::History)->pos();
    const QPoint linkInfo = frame().Window(ServerWindowKind::LinkInfo)->pos();
    EXPECT_NE(history, QPoint(0, 0));
    EXPECT_NE(linkInfo, QPoint(0, 0));
    EXPECT_NE(linkInfo, history);
    EXPECT_EQ(frame().Window(ServerWindowKind::About)->pos(), QPoint(300, 310));
}

TEST_F(ServerAppTest, SecurityWithoutItsUserTableIsWarnedOfBeforeSaving) {
    QTemporaryDir folders;
    const QString empty = folders.filePath(QStringLiteral("empty"));
    const QString withTable = folders.filePath(QStringLiteral("users"));
    QDir().mkpath(empty);
    QDir().mkpath(withTable);
    QFile(withTable + QStringLiteral("/$$$UDB.DBF")).open(QIODevice::WriteOnly);
    const struct {
        const char* what;
        int level;
        QString folder;
        const char* warning; // nullptr: none
        int answer;
        bool saved;
        QString stored{}; // the folder as written when saved, when it differs from what was typed
    } cases[] = {
        {"no security", 0, folders.filePath(QStringLiteral("missing")), nullptr, 0, true},
        {"folder missing, saved anyway", 1, folders.filePath(QStringLiteral("missing")), "does not exist", plat::IDYES,
         true},
        {"folder missing, not saved", 2, folders.filePath(QStringLiteral("missing")), "does not exist", plat::IDNO,
         false},
        {"no table in the folder", 1, empty, "holds no user table ($$$UDb.dbf)", plat::IDNO, false},
        {"no folder given", 1, QString(), "No user tables folder is given.", plat::IDNO, false},
        {"table there", 1, withTable, nullptr, 0, true},
        // The folder is stored without one trailing separator, and checked as it will be stored.
        {"table there, typed with a trailing backslash", 1, withTable + QStringLiteral("\\"), nullptr, 0, true,
         withTable},
        {"table there, typed with a trailing slash", 2, withTable + QStringLiteral("/"), nullptr, 0, true, withTable},
        {"missing folder with a trailing backslash", 1, folders.filePath(QStringLiteral("gone\\")),
         "/gone does not exist.", plat::IDNO, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeIni("[Security]\nEnforceSecurity=0\nUserTablesPath=/before\n");
        ScriptedUi ui;
        ASSERT_TRUE(start());
        frame().OnCommand(ServerCommand::Settings);
        auto* dlg = window<CSettingsDlg>(ServerWindowKind::Settings);
        dlg->cboSecurity->setCurrentIndex(c.level);
        dlg->txtUserTables->setText(c.folder);
        if (c.warning)
            ui.expectMessage(c.answer, QString::fromLatin1(c.warning));
        dlg->OnOK();
        EXPECT_EQ(ui.messages().size(), c.warning ? 1u : 0u);
        if (c.warning) {
            EXPECT_EQ(ui.messages()[0].style, plat::MB_YESNO | plat::MB_ICONEXCLAMATION | plat::MB_DEFBUTTON2);
        }
        EXPECT_EQ(profile().GetInt("Security", "EnforceSecurity", -1), c.saved ? c.level : 0);
        EXPECT_EQ(profile().GetString("Security", "UserTablesPath"),
                  (c.saved ? (c.stored.isEmpty() ? c.folder : c.stored) : QStringLiteral("/before")).toStdString());
        EXPECT_EQ(frame().IsOpen(ServerWindowKind::Settings), !c.saved) << "not saved: the window stays to mend it";
        app->ExitInstance();
        app.reset();
    }
}

TEST_F(ServerAppTest, ActivityWindowPopsUpForTransfersInDisplayModeOne) {
    writeIni("[Settings]\nAlwaysOnTop=1\n");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    engine->view.transfer.fileName = "C:\\QDATA\\AMBLEWAY\\A-VERY-LONG-FOLDER\\area7.txt";
    engine->view.transfer.size = 2000;
    engine->view.transfer.bytesReceived = 500;
    engine->status = comms::LinkStatus::Receiving;
    engine->notificationFlag = false;
    ASSERT_TRUE(engine->notify);
    engine->notify(); // as the worker does, from its thread
    ASSERT_TRUE(pumpUntil([&] { return frame().IsOpen(ServerWindowKind::Progress); }));
    EXPECT_TRUE(frame().ProgressOpenedAutomatically());
    EXPECT_TRUE(engine->notificationFlag);
    auto* activity = window<CActivityDlg>(ServerWindowKind::Progress);
    EXPECT_EQ(activity->lblStatus->text(), QStringLiteral("Receiving C:\\QDAT...ONG-FOLDER\\area7.txt"));
    EXPECT_EQ(activity->prgTransfer->value(), 25);
    EXPECT_FALSE(activity->prgTransfer->isHidden());
    engine->view.transfer.completed = true;
    engine->view.transfer.bytesReceived = 2000;
    frame().OnComStatusChanged();
    EXPECT_EQ(activity->lblStatus->text(), QStringLiteral("Received OK C:\\QDAT...ONG-FOLDER\\area7.txt"));

    engine->status = comms::LinkStatus::Ready;
    frame().OnComStatusChanged();
    EXPECT_FALSE(frame().IsOpen(ServerWindowKind::Progress));

    // Opened by hand, it stays; its texts follow the status.
    frame().OnCommand(ServerCommand::OpenProgress);
    engine->status = comms::LinkStatus::ModemInitialise;
    frame().OnComStatusChanged();
    activity = window<CActivityDlg>(ServerWindowKind::Progress);
    ASSERT_NE(activity, nullptr);
    EXPECT_EQ(activity->lblStatus->text(), QStringLiteral("Modem Initialise"));
    EXPECT_TRUE(activity->prgTransfer->isHidden());
    EXPECT_EQ(CActivityDlg::ShortName(QString(30, 'x')), QString(30, 'x'));
}

TEST_F(ServerAppTest, SettingsDialogWritesWhatItChanges) {
    writeIni("[Modem]\nType1=Fast\nType2=TestModem\n[Modem TestModem]\nDescription=Tm\nBaud=9600\n"
             "[Security]\nUserTablesPath=/old\n");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    frame().OnCommand(ServerCommand::Settings);
    auto* dlg = window<CSettingsDlg>(ServerWindowKind::Settings);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("QUARN Communications Settings: COM1"));
    EXPECT_EQ(dlg->cboPort->count(), 35);
    // Each port names the device it stands for; the computer's serial devices are listed beside.
    EXPECT_EQ(dlg->cboPort->itemText(2), QStringLiteral("COM3 - ") + QString::fromStdString(plat::SerialDevicePath(2)));
    EXPECT_TRUE(dlg->lblSerialDevices->text().contains(QStringLiteral("[Ports]")));
    EXPECT_EQ(dlg->cboModem->count(), 3);
    EXPECT_EQ(dlg->cboModem->itemText(2), QStringLiteral("TestModem"));
    EXPECT_EQ(dlg->txtUserTables->text(), QStringLiteral("/old"));
    frame().OnCommand(ServerCommand::OpenHistory);

    dlg->cboPort->setCurrentIndex(5);
    dlg->cboModem->setCurrentIndex(2);
    dlg->cboDisplayMode->setCurrentIndex(2);
    dlg->cboSecurity->setCurrentIndex(2);
    dlg->txtUserTables->setText(QStringLiteral("C:\\Users\\"));
    engine->requests.clear();
    ui.expectMessage(plat::IDYES, QStringLiteral("The user tables folder C:\\Users does not exist."));
    dlg->OnOK();
    EXPECT_FALSE(frame().IsOpen(ServerWindowKind::Settings));
    EXPECT_EQ(profile().GetInt("Communications", "ComPort", -1), 5);
    EXPECT_EQ(profile().GetInt("Modem", "EnabledModem", -1), 2);
    EXPECT_EQ(profile().GetInt("Settings", "AlwaysOnTop", -1), 2);
    EXPECT_EQ(profile().GetInt("Security", "EnforceSecurity", -1), 2);
    EXPECT_EQ(profile().GetString("Security", "UserTablesPath"), "C:\\Users");
    EXPECT_EQ(app->settings.previousPortNumber, 0);
    EXPECT_EQ(engine->configured.portNumber, 5);
    EXPECT_EQ(engine->configured.modemDescription, "Tm");
    EXPECT_EQ(engine->configured.modem.baud, 9600);
    EXPECT_EQ(engine->tablesFolder, "C:\\Users");
    EXPECT_EQ(engine->tablesLevel, 2);
    EXPECT_EQ(engine->requests, std::vector<int>{comms::WorkerRequest::Reopen});
    EXPECT_EQ(frame().Window(ServerWindowKind::History)->windowTitle(),
              QStringLiteral("QUARN Communications History Log: COM6"));
}

TEST_F(ServerAppTest, SettingsThatCannotBeWrittenAreSaidAndTheFileIsLeftAlone) {
    writeIni("[Security]\nEnforceSecurity=0\n");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    frame().OnCommand(ServerCommand::Settings);
    auto* dlg = window<CSettingsDlg>(ServerWindowKind::Settings);
    ASSERT_NE(dlg, nullptr);
    // Something that cannot be read stands where the settings file was: it is neither replaced nor silently
    // ignored.
    ASSERT_TRUE(QFile::remove(QString::fromStdString(iniPath_)));
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(iniPath_)));
    dlg->cboPort->setCurrentIndex(3);
    ui.expectMessage(plat::IDOK, QStringLiteral("The settings could not be saved"));
    dlg->OnOK();
    EXPECT_FALSE(frame().IsOpen(ServerWindowKind::Settings));
    EXPECT_TRUE(QFileInfo(QString::fromStdString(iniPath_)).isDir());
    EXPECT_EQ(app->settings.portNumber, 3);
    QDir(QString::fromStdString(iniPath_)).removeRecursively();
}

TEST_F(ServerAppTest, LockedLevelIsLeftAloneButALockedFolderStillGetsItsTableForANewLevel) {
    writeInstall("[QUARN Security]\nConnectLevel=2\n");
    writeIni("[Security]\nEnforceSecurity=0\n");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    frame().OnCommand(ServerCommand::Settings);
    auto* dlg = window<CSettingsDlg>(ServerWindowKind::Settings);
    EXPECT_FALSE(dlg->cboSecurity->isEnabled());
    EXPECT_TRUE(dlg->txtUserTables->isEnabled());
    EXPECT_TRUE(dlg->grpSecurity->isEnabled());
    ui.expectMessage(plat::IDYES, QStringLiteral("No user tables folder is given."));
    dlg->OnOK();
    EXPECT_EQ(profile().GetInt("Security", "EnforceSecurity", -1), 0);
    EXPECT_EQ(app->settings.securityLevel, 1);
    app->ExitInstance();
    app.reset();

    // Folder locked, level free: raising the level opens the table (it was never opened at level 0).
    writeInstall("[QUARN Security]\nUserTablesPath=/srv/users\n");
    writeIni("[Security]\nEnforceSecurity=0\nUserTablesPath=/ignored\n");
    ASSERT_TRUE(start());
    EXPECT_FALSE(engine->tablesOpen);
    frame().OnCommand(ServerCommand::Settings);
    dlg = window<CSettingsDlg>(ServerWindowKind::Settings);
    EXPECT_FALSE(dlg->txtUserTables->isEnabled());
    dlg->cboSecurity->setCurrentIndex(1);
    ui.expectMessage(plat::IDYES, QStringLiteral("The user tables folder /srv/users does not exist."));
    dlg->OnOK();
    EXPECT_TRUE(engine->tablesOpen);
    EXPECT_EQ(engine->tablesFolder, "/srv/users");
    EXPECT_EQ(profile().GetString("Security", "UserTablesPath"), "/ignored");
}

TEST_F(ServerAppTest, AdvancedDialogTakesTimersOnlyWhenTheWarningIsConfirmed) {
    ScriptedUi ui;
    ASSERT_TRUE(start());
    frame().OnCommand(ServerCommand::Settings);
    auto* settings = window<CSettingsDlg>(ServerWindowKind::Settings);
    const std::string before = ini();

    auto fill = [&](QDialog* d) {
        auto* adv = dynamic_cast<CAdvancedDlg*>(d);
        EXPECT_NE(adv, nullptr);
        EXPECT_EQ(adv->windowTitle(), QStringLiteral("QUARN Advanced Link Settings: COM1"));
        EXPECT_FALSE(adv->grpTestMode->isEnabled());
        EXPECT_EQ(adv->txtOpticalDelay->maximum(), 200);
        adv->txtAckTimer->setValue(9);
        adv->txtOpticalDelay->setValue(150);
        adv->cboSpecialMode->setCurrentIndex(4);
        adv->chkPhantomDSR->setChecked(true);
        // A second request while this one is open is refused.
        settings->OnAdvanced();
        adv->accept();
        return adv->result();
    };
    ui.expectDialog(fill);
    ui.expectMessage(plat::IDOK, QStringLiteral("Advanced Link Parameters settings is already running."));
    ui.expectMessage(plat::IDCANCEL, QStringLiteral("Changing the link timers can severly impact communications"));
    settings->OnAdvanced();
    EXPECT_EQ(ini(), before);
    EXPECT_EQ(app->settings.ackTimer, 3);

    ui.expectDialog(fill);
    ui.expectMessage(plat::IDOK, QStringLiteral("already running"));
    ui.expectMessage(plat::IDOK, QStringLiteral("Are you absolutely sure"));
    settings->OnAdvanced();
    EXPECT_EQ(profile().GetInt("LinkTimers", "AckTimer", -1), 9);
    EXPECT_EQ(profile().GetInt("LinkTimers", "OpticalDelay", -1), 150);
    EXPECT_EQ(profile().GetInt("LinkTimers", "GetTimer", -1), 15);
    EXPECT_EQ(profile().GetInt("SpecialModes", "Comms", -1), 4);
    EXPECT_EQ(profile().GetInt("SpecialModes", "PhantomDSR", -1), 1);
    EXPECT_EQ(profile().GetInt("TestMode", "CorruptData", -1), 0);
    EXPECT_EQ(engine->link.timers.AckTimer.load(), 9);
    EXPECT_TRUE(engine->link.PhantomDSR);
    EXPECT_FALSE(app->advancedRunning);

    // Reset puts the standard timers back.
    CAdvancedDlg adv(*app);
    adv.OnReset();
    EXPECT_EQ(adv.txtAckTimer->value(), 3);
    EXPECT_EQ(adv.txtGetTimer->value(), 15);
    EXPECT_EQ(adv.txtSendTimer->value(), 6);
    EXPECT_EQ(adv.txtReceiveTimer->value(), 4);
    EXPECT_EQ(adv.txtOpticalDelay->value(), 20);
}

TEST_F(ServerAppTest, HistoryWindowListsTheLastHundredThroughTheViewFilter) {
    writeIni("[HistoryDisplay]\nViewTypes=2046\n");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    for (int i = 0; i < 105; ++i)
        app->history.LogHistoryEvent("Event " + std::to_string(i),
                                     comms::HistoryEventCode::FileReceive |
                                         (i % 2 ? comms::HistoryEventCode::Failure : comms::HistoryEventCode::Success));
    frame().OnCommand(ServerCommand::OpenHistory);
    auto* h = window<CHistoryDlg>(ServerWindowKind::History);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->windowTitle(), QStringLiteral("QUARN Communications History Log: COM1"));
    EXPECT_EQ(h->lstEvents->count(), 50); // failures among the last 100: 5..104, odd ones
    EXPECT_TRUE(h->lstEvents->item(0)->text().endsWith(QStringLiteral("Event 5")));
    EXPECT_TRUE(h->lstEvents->item(49)->text().endsWith(QStringLiteral("Event 104")) ||
                h->lstEvents->item(49)->text().endsWith(QStringLiteral("Event 103")));
    EXPECT_EQ(h->lstEvents->currentRow(), 49);
    EXPECT_EQ(h->lblFilter->text().toStdString(), comms::ViewFilterDescription(2046));
    EXPECT_TRUE(h->refreshTimer.isActive());
    EXPECT_EQ(h->cmdAutoRefresh->text(), QStringLiteral("Manual Refresh"));
    EXPECT_TRUE(h->cmdStartStopLog->isHidden()); // no log file yet

    // A new event shows at the next refresh.
    app->history.LogHistoryEvent("Late", comms::HistoryEventCode::Security | comms::HistoryEventCode::Failure);
    h->Rebuild();
    EXPECT_TRUE(h->lstEvents->item(h->lstEvents->count() - 1)->text().endsWith(QStringLiteral("Late")));
    h->OnAutoRefresh();
    EXPECT_FALSE(h->refreshTimer.isActive());
    EXPECT_EQ(h->cmdAutoRefresh->text(), QStringLiteral("Auto Refresh"));

    // Choosing a log file switches logging on.
    const QString log = dir_.filePath(QStringLiteral("server.Log"));
    ui.expectSaveFile(log);
    h->OnLogFile();
    EXPECT_EQ(ui.fileRequests().back().defaultSuffix, QStringLiteral("Log"));
    EXPECT_EQ(profile().GetString("HistoryDisplay", "LogFile"), log.toStdString());
    EXPECT_EQ(profile().GetInt("HistoryDisplay", "LogStatus", -1), 1);
    EXPECT_FALSE(h->cmdStartStopLog->isHidden());
    EXPECT_EQ(h->cmdStartStopLog->text(), QStringLiteral("Stop Log"));
    EXPECT_EQ(app->history.LogStatus.load(), 1);
    h->OnStartStopLog();
    EXPECT_EQ(profile().GetInt("HistoryDisplay", "LogStatus", -1), 0);
    EXPECT_EQ(h->cmdStartStopLog->text(), QStringLiteral("Start Log"));

    // The display types: the mask is made from the boxes alone, and one outcome always stays.
    ui.expectDialog([](QDialog* d) {
        auto* types = dynamic_cast<CEventTypesDlg*>(d);
        EXPECT_EQ(types->windowTitle(), QStringLiteral("History View Event Types"));
        EXPECT_FALSE(types->chkSuccess->isChecked());
        types->chkFailure->setChecked(false);
        EXPECT_TRUE(types->chkSuccess->isChecked());
        for (QCheckBox* c : types->chkTypes)
            c->setChecked(false);
        types->chkTypes[1]->setChecked(true); // File Receive
        return int(QDialog::Accepted);
    });
    h->OnDisplay();
    EXPECT_EQ(profile().GetInt("HistoryDisplay", "ViewTypes", -1), 0x081);
    EXPECT_EQ(h->lstEvents->count(), 50);

    ui.expectDialog([](QDialog* d) {
        auto* types = dynamic_cast<CEventTypesDlg*>(d);
        EXPECT_EQ(types->windowTitle(), QStringLiteral("History File Log Event Types"));
        return int(QDialog::Accepted);
    });
    app->settings.logTypes = 0xFFF;
    h->OnLogEvents();
    EXPECT_EQ(profile().GetInt("HistoryDisplay", "LogTypes", -1), 0x7FF); // 0x800 is never kept

    ui.expectDialog([](QDialog* d) {
        auto* detail = dynamic_cast<CEventDetailDlg*>(d);
        EXPECT_EQ(detail->windowTitle(), QStringLiteral("Logged Event Detail"));
        EXPECT_TRUE(detail->txtText->text().endsWith(QStringLiteral("Event 6")));
        EXPECT_EQ(detail->txtTime->text().size(), 19);
        return int(QDialog::Accepted);
    });
    h->OnDetail(0);
}

TEST_F(ServerAppTest, DiagnosticsErrorsAndLinkInformation) {
    writeIni("[SpecialModes]\nComms=4\nPhantomDSR=1\n");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    engine->link.statistics.Add(comms::LinkCounter::RxBytes, 1234);
    engine->link.statistics.Add(comms::LinkCounter::FailedFileMoves, 2);
    engine->modemSample = 0x80 | 0x10;
    engine->tx = {0, 100, 200, 300, 2880}; // 720 bytes a second over four seconds
    frame().OnCommand(ServerCommand::OpenDiagnostics);
    auto* d = window<CDiagnosticsDlg>(ServerWindowKind::Diagnostics);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->txtCounters[0]->text(), QStringLiteral("1234"));
    EXPECT_EQ(d->txtCounters[18]->text(), QStringLiteral("2"));
    EXPECT_EQ(d->lblDsr->text(), QStringLiteral("DSR (Phantom)"));
    EXPECT_TRUE(d->lamps[0]->property("lit").toBool());
    EXPECT_FALSE(d->lamps[1]->property("lit").toBool());
    EXPECT_TRUE(d->lamps[2]->property("lit").toBool());
    EXPECT_EQ(d->sldTx->value(), 720);
    EXPECT_EQ(d->lblTxPercent->text(), QStringLiteral(" 12%")); // of 5760 bytes a second at 57600 baud
    EXPECT_EQ(d->sldRx->value(), 0);
    EXPECT_DOUBLE_EQ(CDiagnosticsDlg::Rate({10, 20, 30, 40, 50}), 10.0);
    d->OnReset();
    EXPECT_EQ(d->txtCounters[0]->text(), QStringLiteral("0"));
    EXPECT_EQ(d->sldTx->value(), 0);

    engine->link.lineErrors.Add(comms::LineError::Framing);
    frame().OnCommand(ServerCommand::OpenRs232);
    auto* e = window<CRs232Dlg>(ServerWindowKind::Rs232);
    EXPECT_EQ(e->windowTitle(), QStringLiteral("QUARN RS232 Port Errors: COM1"));
    EXPECT_EQ(e->txtErrors[2]->text(), QStringLiteral("1"));
    e->cmdReset->click();
    EXPECT_EQ(e->txtErrors[2]->text(), QStringLiteral("0"));

    frame().OnCommand(ServerCommand::OpenLinkInfo);
    auto* li = window<CLinkInfoDlg>(ServerWindowKind::LinkInfo);
    EXPECT_EQ(li->txtBaud->text(), QStringLiteral("57600"));
    EXPECT_EQ(li->txtDriver->text(), QStringLiteral("32 Bit"));
    frame().OnCommand(ServerCommand::CloseLinkInfo);
    EXPECT_FALSE(frame().IsOpen(ServerWindowKind::LinkInfo));
}

} // namespace

namespace {
// Pictures of three windows for the documentation: run with --gtest_also_run_disabled_tests and
// VORD_SCREENSHOT_DIR set to the folder to write them to.
TEST_F(ServerAppTest, DISABLED_Screenshots) {
    const QByteArray out = qgetenv("VORD_SCREENSHOT_DIR");
    ASSERT_FALSE(out.isEmpty());
    writeIni("[Communications]\nComPort=0\n[Modem]\nType1=Hayes Compatible\n[Security]\nEnforceSecurity=1\n"
             "UserTablesPath=/srv/quarn/users\n");
    ScriptedUi ui;
    ASSERT_TRUE(start());
    const char* events[] = {"Com Port Opened OK",
                            "User Connected: JIM",
                            "File Receive OK: C:\\TESSALY\\QDATA\\AREA7.TXT",
                            "Clock Set OK",
                            "Failed File Send: C:\\TESSALY\\QDATA\\MISSING.TXT",
                            "User Disconnected: JIM"};
    const int codes[] = {0x005, 0x201, 0x081, 0x009, 0x102, 0x201};
    for (int i = 0; i < 6; ++i)
        app->history.LogHistoryEvent(events[i], codes[i]);
    frame().OnCommand(ServerCommand::Settings);
    frame().OnCommand(ServerCommand::OpenHistory);
    frame().OnCommand(ServerCommand::OpenLinkInfo);
    QCoreApplication::processEvents();
    const std::pair<ServerWindowKind, const char*> shots[] = {{ServerWindowKind::Settings, "quendar32-settings.png"},
                                                              {ServerWindowKind::History, "quendar32-history.png"},
                                                              {ServerWindowKind::LinkInfo, "quendar32-linkinfo.png"}};
    for (const auto& [kind, name] : shots) {
        QWidget* w = frame().Window(kind);
        w->adjustSize();
        EXPECT_TRUE(w->grab().save(QString::fromLocal8Bit(out) + u'/' + QString::fromLatin1(name)));
    }
}
} // namespace
