#include <chrono>
#include <functional>

#include <sys/stat.h>

#include "ServerFixture.h"
#include "commserver/XbaseUserStore.h"
#include "usertable/UserTableBuilder.h"
#include "xbase/d4all.h"

using namespace comms;

namespace {

class UserTableOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        UserRecord policy = MakePolicy();
        policy.maxConnectMinutes = 30;
        policy.autoDisable = 5;
        UserRecord jim = MakeUser("jim", "secret");
        jim.maxConnectMinutes = 60;
        jim.autoDisable = 9;
        jim.noDollarNames = false;
        UserRecord ann = MakeUser("Ann", "pw");
        ann.maxConnectMinutes = 0;
        ann.autoDisable = 2;
        rows = {jim, policy, ann};
    }
    std::string folder() const { return box.server().string(); }

    Sandbox box;
    std::vector<UserRecord> rows;
    UserTables tables{std::make_unique<XbaseUserStore>(2, 5)};
};

TEST_F(UserTableOnDisk, UsersAreFoundByTheirPaddedUpperCaseKeyWithThePolicyApplied) {
    EXPECT_EQ(tables.LoadUserTables(1, folder()), 0) << "no table there yet";
    ASSERT_TRUE(BuildUserTable(folder(), rows));
    EXPECT_EQ(tables.LoadUserTables(0, folder()), 0) << "security off opens nothing";
    EXPECT_FALSE(tables.IsOpen());
    ASSERT_EQ(tables.LoadUserTables(1, folder()), 1);

    UserRecord u;
    ASSERT_EQ(tables.FindUser("JIM", u), 1);
    EXPECT_EQ(u.userName, "jim");
    EXPECT_EQ(u.password, "secret");
    EXPECT_EQ(u.recordNumber, 1);
    EXPECT_EQ(u.maxConnectMinutes, 30) << "the policy's shorter limit wins";
    EXPECT_EQ(u.autoDisable, 5);
    EXPECT_TRUE(u.enabled) << "ENABLED holds a lower-case y";
    ASSERT_EQ(tables.FindUser("ann", u), 1);
    EXPECT_EQ(u.maxConnectMinutes, 0) << "an unlimited user stays unlimited";
    EXPECT_EQ(u.autoDisable, 2);

    EXPECT_EQ(tables.FindUser("ji", u), 0) << "a leading part of a name is no user";
    EXPECT_EQ(tables.FindUser("$POLICY", u), 0);
    EXPECT_EQ(tables.FindUser("nobody", u), 0);
    tables.CloseUserTables();
    EXPECT_EQ(tables.FindUser("jim", u), 0);
}

TEST_F(UserTableOnDisk, ARowMarkedDeletedIsNoUserButTheSameNameMadeAgainIs) {
    UserRecord again = MakeUser("ANN", "new");
    rows.push_back(again);
    ASSERT_TRUE(BuildUserTable(folder(), rows));
    // The administration tools remove a user by marking the row deleted: jim (row 1), and the first Ann (row 3).
    CODE4 other;
    ASSERT_EQ(code4init(&other), 0);
    DATA4* d = d4open(&other, (folder() + "/$$$UDb").c_str());
    ASSERT_NE(d, nullptr);
    for (long rec : {1L, 3L}) {
        ASSERT_EQ(d4go(d, rec), 0);
        ASSERT_EQ(d4lock(d, rec), 0);
        d4delete(d);
        ASSERT_EQ(d4flush(d), 0);
        d4unlock(d);
    }
    d4close(d);
    code4initUndo(&other);

    ASSERT_EQ(tables.LoadUserTables(1, folder()), 1);
    UserRecord u;
    EXPECT_EQ(tables.FindUser("jim", u), 0);
    ASSERT_EQ(tables.FindUser("ann", u), 1);
    EXPECT_EQ(u.recordNumber, 4);
    EXPECT_EQ(u.password, "new");
}

TEST_F(UserTableOnDisk, ThePolicyDeniesRightsAndIsReadAgainForEachLookUp) {
    rows[1].uncAllowed = false;
    rows[1].noDollarNames = true;
    ASSERT_TRUE(BuildUserTable(folder(), rows));
    ASSERT_EQ(tables.LoadUserTables(1, folder()), 1);
    UserRecord u;
    ASSERT_EQ(tables.FindUser("jim", u), 1);
    EXPECT_FALSE(u.uncAllowed);
    EXPECT_TRUE(u.noDollarNames);
    EXPECT_TRUE(u.otherDirsAllowed);

    // Another program changes the policy row; the next logon sees it.
    CODE4 other;
    ASSERT_EQ(code4init(&other), 0);
    DATA4* d = d4open(&other, (folder() + "/$$$UDb").c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4go(d, 2), 0);
    ASSERT_EQ(d4lock(d, 2), 0);
    f4assign(d4field(d, "AOTHERDIR"), "N");
    ASSERT_EQ(d4flush(d), 0);
    d4unlock(d);
    d4close(d);
    code4initUndo(&other);
    ASSERT_EQ(tables.FindUser("jim", u), 1);
    EXPECT_FALSE(u.otherDirsAllowed);
}

TEST_F(UserTableOnDisk, BookkeepingIsWrittenUnderTheLockFromTheFreshRowAndALockedRowIsLeftAlone) {
    ASSERT_TRUE(BuildUserTable(folder(), rows));
    ASSERT_EQ(tables.LoadUserTables(1, folder()), 1);
    UserRecord u;
    ASSERT_EQ(tables.FindUser("jim", u), 1);

    // An administrator resets the count meanwhile: the update starts from that value, not the session's copy.
    CODE4 other;
    ASSERT_EQ(code4init(&other), 0);
    other.lockTries = 1;
    DATA4* d = d4open(&other, (folder() + "/$$$UDb").c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4go(d, 1), 0);
    ASSERT_EQ(d4lock(d, 1), 0);
    f4assignLong(d4field(d, "NCONNECTS"), 40);
    ASSERT_EQ(d4flush(d), 0);
    ASSERT_EQ(d4unlock(d), 0);

    UserRecord fresh;
    ASSERT_TRUE(tables.UpdateUserRecord(
        u,
        [](UserRecord& r) {
            r.connectCount += 1;
            r.lastConnect = "01/02/2030 03:04:05";
            r.disabled = true;
        },
        &fresh));
    EXPECT_EQ(fresh.connectCount, 41);
    ASSERT_EQ(d4refreshRecord(d), 0);
    EXPECT_EQ(f4long(d4field(d, "NCONNECTS")), 41);
    EXPECT_EQ(std::string(f4str(d4field(d, "LCNCTTIME"))), "01/02/2030 03:04:05");
    EXPECT_EQ(std::string(f4str(d4field(d, "ADISABLED"))), "Y");
    EXPECT_EQ(std::string(f4str(d4field(d, "PASSWORD"))).substr(0, 6), "secret") << "other columns stay";

    // Held by another program: a few short waits, then the row is left as it is.
    ASSERT_EQ(d4lock(d, 1), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(tables.UpdateUserRecord(u, [](UserRecord& r) { r.connectCount = 999; }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    d4unlock(d);
    ASSERT_EQ(d4refreshRecord(d), 0);
    EXPECT_EQ(f4long(d4field(d, "NCONNECTS")), 41);
    d4close(d);
    code4initUndo(&other);
}

TEST_F(UserTableOnDisk, WideColumnsAreCutToTheRecordsFields) {
    rows[0].fullName = std::string(70, 'F');
    rows[0].password = std::string(40, 'p');
    ASSERT_TRUE(BuildUserTable(folder(), rows, UserColumnWidths{30, 80, 40}));
    ASSERT_EQ(tables.LoadUserTables(1, folder()), 1);
    UserRecord u;
    ASSERT_EQ(tables.FindUser("jim", u), 1);
    EXPECT_EQ(u.fullName, std::string(50, 'F'));
    EXPECT_EQ(u.password, std::string(30, 'p'));
    const auto bytes = u.Serialize();
    EXPECT_EQ(bytes[31 + 50], 0) << "the full name ends inside its field";
}

// The whole logon over the line against a table the engine made; the row's columns read back by an
// independent dBASE reader.
// The engine's shared log is looked for in the current folder. A log the store may not trust, or one the engine
// cannot use (here a single byte, as a remote unit could once send up), leaves the table opened without it and
// says why; the file itself is left as it was.
TEST_F(UserTableOnDisk, TheTableOpensWithoutASharedLogItMayNotTrustOrTheEngineCannotUse) {
    ASSERT_TRUE(BuildUserTable(folder(), rows));
    const fs::path here = box.root / "cwd";
    fs::create_directories(here);
    fs::permissions(here, fs::perms::owner_all, fs::perm_options::replace);
    struct BackAfterwards {
        fs::path to = fs::current_path();
        ~BackAfterwards() { fs::current_path(to); }
    } back;
    fs::current_path(here);
    const fs::path log = here / "C4.log";
    struct Case {
        const char* what;
        std::function<void()> plant;
        bool remoteWritable;
        const char* why;
    };
    const Case cases[] = {
        {"a log the engine cannot use", [&] { WriteFile(log, Bytes{'x'}); }, false, "(the table engine cannot use it)"},
        {"a folder remote units may write to", [&] { WriteFile(log, Bytes{'x'}); }, true,
         "(remote units may write to its folder)"},
        {"a pipe", [&] { ::mkfifo(log.c_str(), 0600); }, false, "(it is not a regular file)"},
        {"a log others may write",
         [&] {
             WriteFile(log, Bytes{'x'});
             fs::permissions(log, fs::perms::others_write, fs::perm_options::add);
         },
         false, "(it belongs to another user or others may write to it)"},
        {"a folder others may write",
         [&] {
             WriteFile(log, Bytes{'x'});
             fs::permissions(here, fs::perms::others_all, fs::perm_options::add);
         },
         false, "(other users may write to its folder)"},
        {"another user's log",
         [&] {
             WriteFile(log, Bytes{'x'});
             if (::chown(log.c_str(), 65534, 65534) != 0)
                 ADD_FAILURE() << "chown";
         },
         false, "(it belongs to another user or others may write to it)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.what) == "another user's log" && ::geteuid() != 0)
            continue;
        fs::remove(log);
        fs::permissions(here, fs::perms::owner_all, fs::perm_options::replace);
        c.plant();
        const bool pipe = fs::is_fifo(log);
        auto store = std::make_unique<XbaseUserStore>();
        std::vector<std::string> notes;
        store->SetRemoteWritable([&](const std::string& f) { return c.remoteWritable && fs::path(f) == here; });
        store->SetNote([&](const std::string& text) { notes.push_back(text); });
        UserTables onDisk(std::move(store));
        ASSERT_EQ(onDisk.LoadUserTables(1, folder()), 1);
        UserRecord jim;
        EXPECT_EQ(onDisk.FindUser("JIM", jim), 1);
        ASSERT_EQ(notes.size(), 1u);
        EXPECT_EQ(notes[0], "User Tables Opened Without The Shared Log: " + log.string() + " " + c.why);
        onDisk.CloseUserTables();
        if (!pipe) {
            EXPECT_EQ(ReadFile(log), Bytes{'x'}) << "the log is left as it was";
        }
    }
    // Without a log there is nothing to say.
    fs::remove(log);
    fs::permissions(here, fs::perms::owner_all, fs::perm_options::replace);
    auto store = std::make_unique<XbaseUserStore>();
    int notes = 0;
    store->SetNote([&](const std::string&) { ++notes; });
    UserTables onDisk(std::move(store));
    EXPECT_EQ(onDisk.LoadUserTables(1, folder()), 1);
    EXPECT_EQ(notes, 0);
    onDisk.CloseUserTables();
}

class ServerWithTable : public ServerOverPty {};

TEST_F(ServerWithTable, LogonDisconnectAndLockoutAreBookedInTheTable) {
    UserRecord three = MakeUser("three", "pw");
    three.autoDisable = 1;
    UserRecord off = MakeUser("off", "pw");
    off.enabled = false;
    ASSERT_TRUE(BuildUserTable(box.root.string(), {MakePolicy(), MakeUser("jim", "secret"), three, off}));
    UserTables onDisk(std::make_unique<XbaseUserStore>());
    LinkServer withTable(history, onDisk);
    withTable.SetPortNumber(kPort);
    withTable.Link().timers.OpticalDelay = 0;
    withTable.Paths().SetServerFolder(box.server().string());
    withTable.SetSecurityLevel(1);
    ASSERT_EQ(onDisk.LoadUserTables(1, box.root.string()), 1);
    withTable.Start();
    withTable.PostRequest(WorkerRequest::Reopen);
    ASSERT_TRUE(WaitFor([&] { return withTable.UiStatus() == LinkStatus::Ready; }));
    auto settled = [&] { return WaitFor([&] { return withTable.State() == LinkState::Idle; }); };

    EXPECT_EQ(session.Logon("off", "pw"), FrameType::Failed);
    ASSERT_TRUE(settled());
    EXPECT_TRUE(HasEvent("Account Disabled: off (off Full)"));
    EXPECT_EQ(session.Logon("jim", "secret", 3), FrameType::Failed);
    ASSERT_TRUE(settled());
    EXPECT_EQ(session.Logon("jim", "secret"), FrameType::Done);
    ASSERT_TRUE(settled());
    const Bytes big = Pattern(1 << 20, 5);
    EXPECT_EQ(session.Upload("UP.BIN", big, TransferMode::Appended), FrameType::Done);
    ASSERT_TRUE(settled());
    Bytes back;
    EXPECT_EQ(session.Download("up.bin", back), FrameType::Done);
    ASSERT_TRUE(settled());
    EXPECT_EQ(back, big);
    EXPECT_EQ(session.Download("*.*", back, TransferMode::Listing), FrameType::Done);
    ASSERT_TRUE(settled());
    EXPECT_EQ(Text(back), "UP.BIN\r\n");
    EXPECT_EQ(session.RequestType(FrameType::Disconnect, {}), FrameType::Done);
    ASSERT_TRUE(settled());
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(session.Logon("three", "pw", 1), FrameType::Failed);
        ASSERT_TRUE(settled());
    }
    EXPECT_EQ(session.Logon("three", "pw"), FrameType::Failed);
    ASSERT_TRUE(settled());
    ASSERT_TRUE(withTable.Stop());
    onDisk.CloseUserTables();

    const std::string script =
        "import glob,sys\nfrom dbfread import DBF\n"
        "f=[p for p in glob.glob(sys.argv[1]+'/*') if p.lower().endswith('udb.dbf')][0]\n"
        "for r in DBF(f):\n"
        " print('%s|%s|%s|%s|%s|%s' % (r['USERNAME'].strip(), r['NCONNECTS'], r['NSEQFAIL'], r['ADISABLED'],"
        " len(r['LCNCTTIME'].strip()), len(r['LDISCTIME'].strip())))\n";
    WriteFile(box.root / "read.py", script);
    FILE* p = ::popen(("/usr/bin/python3 " + (box.root / "read.py").string() + " " + box.root.string()).c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p))
        out += buf;
    ::pclose(p);
    EXPECT_EQ(out, "$POLICY|0|0|N|0|0\njim|1|0|N|19|19\nthree|0|2|Y|0|0\noff|0|0|N|0|0\n");
}

} // namespace
