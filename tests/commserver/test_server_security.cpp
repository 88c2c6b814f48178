#include <sys/stat.h>

#include "ServerFixture.h"
#include "commserver/XbaseUserStore.h"

using namespace comms;

namespace {

UserRecord Row(MemoryUserStore::Shared& s, const std::string& name) {
    std::lock_guard lock(s.mutex);
    return s.rows.at(UserKey(name));
}

class SecureServer : public ServerOverPty {
protected:
    void SetUp() override {
        ServerOverPty::SetUp();
        MemoryUserStore::Add(*store, MakeUser("jim", "Secret"));
        UserRecord off = MakeUser("off", "pw");
        off.enabled = false;
        MemoryUserStore::Add(*store, off);
        UserRecord three = MakeUser("three", "pw");
        three.autoDisable = 3;
        MemoryUserStore::Add(*store, three);
        UserRecord two = MakeUser("two", "pw");
        two.psw2Current = "NEWPW";
        two.psw2Previous = "OLDPW";
        MemoryUserStore::Add(*store, two);
        UserRecord plain = MakeUser("plain", "pw");
        plain.uncAllowed = plain.otherDirsAllowed = plain.netDrivesAllowed = plain.programRunsAllowed = false;
        plain.noDollarNames = true;
        MemoryUserStore::Add(*store, plain);
    }
};

TEST_F(SecureServer, LogonWithRightAndWrongResponsesAndTheRowsBookkeeping) {
    ASSERT_TRUE(StartServer(1));
    EXPECT_EQ(session.Logon("jim", "secret"), FrameType::Done) << "the password is compared in upper case";
    ASSERT_TRUE(Settled());
    EXPECT_EQ(server.Snapshot().current.state, SessionState::Connected);
    EXPECT_EQ(server.UiStatus(), LinkStatus::Connected);
    EXPECT_TRUE(HasEvent("User Connected: jim (jim Full)"));
    UserRecord row = Row(*store, "jim");
    EXPECT_EQ(row.connectCount, 1);
    EXPECT_EQ(row.consecutiveFailures, 0);
    EXPECT_EQ(row.lastConnect.size(), 19u);
    EXPECT_TRUE(row.lastDisconnect.empty());

    EXPECT_EQ(session.RequestType(FrameType::Disconnect, {}), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(WaitFor([&] { return !Row(*store, "jim").lastDisconnect.empty(); }));
    EXPECT_EQ(server.Snapshot().current.state, SessionState::Ended);
    EXPECT_EQ(server.Snapshot().last.user.userName, "jim");
    EXPECT_TRUE(HasEvent("User Disconnect: jim (jim Full)"));

    // A disconnect without a logged-on session writes no row (it would rewrite the last user's).
    const UserRecord before = Row(*store, "jim");
    EXPECT_EQ(session.RequestType(FrameType::Disconnect, {}), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Row(*store, "jim").lastDisconnect, before.lastDisconnect);

    EXPECT_EQ(session.Logon("jim", "secret", 1), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(HasEvent("Password Failure: jim (jim Full)"));
    EXPECT_TRUE(HasEvent("Security Abort"));
    EXPECT_EQ(Row(*store, "jim").consecutiveFailures, 1);
    EXPECT_EQ(session.Logon("jim", "secret"), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Row(*store, "jim").consecutiveFailures, 0);
    EXPECT_EQ(Row(*store, "jim").connectCount, 2);
    EXPECT_EQ(server.SecurityCount(SecurityCounter::Connects), 2u);
    EXPECT_EQ(server.SecurityCount(SecurityCounter::PasswordFailures), 1u);
}

TEST_F(SecureServer, UnknownDisabledAndPolicyNamesAreRefused) {
    ASSERT_TRUE(StartServer(1));
    struct Case {
        const char* user;
        const char* password;
        const char* event;
    } cases[] = {
        {"off", "pw", "Account Disabled: off (off Full)"},
        {"nobody", "pw", "No User Tables Entry: nobody"},
        // The policy row has no password: a response of 0 would open it.
        {"$POLICY", "", "No User Tables Entry: $POLICY"},
        {" $policy ", "", "No User Tables Entry:  $policy "},
        {"", "", "No Username provided by remote unit"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(session.Logon(c.user, c.password), FrameType::Failed) << c.user;
        ASSERT_TRUE(Settled());
        EXPECT_TRUE(HasEvent(c.event)) << c.event;
        EXPECT_NE(server.Snapshot().current.state, SessionState::Connected);
    }
    // Operations without a logon are refused and end in a security abort.
    EXPECT_EQ(session.RequestType(FrameType::ClockRequest, Bytes{0}), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(HasEvent("Security Violation: User Not Connected"));
    EXPECT_TRUE(HasEvent("Clock Set Failed: Security Violation"));
}

TEST_F(SecureServer, NamesFromTheLineCannotForgeLinesOfTheLogFile) {
    const fs::path logFile = box.root / "history.log";
    history.SetLogFile(logFile.string());
    history.LogStatus = 1;
    ASSERT_TRUE(StartServer(1));
    const std::string forged = "\r\n01/01/2020 00:00:00 COM1 User Connected: ADMIN (Administrator)";
    EXPECT_EQ(session.Logon("x" + forged, "pw"), FrameType::Failed);
    ASSERT_TRUE(Settled());
    ASSERT_EQ(session.Logon("jim", "secret"), FrameType::Done);
    ASSERT_TRUE(Settled());
    Bytes out;
    EXPECT_EQ(session.Download("A.TXT" + forged, out), FrameType::Failed);
    ASSERT_TRUE(Settled());

    std::size_t events = Events().size();
    std::ifstream in(logFile, std::ios::binary);
    std::size_t lines = 0;
    for (std::string line; std::getline(in, line); ++lines) {
        EXPECT_NE(line.rfind("01/01/2020", 0), 0u) << line;
        EXPECT_EQ(line.find('\r'), line.size() - 1) << line;
    }
    EXPECT_EQ(lines, events) << "one line for each event";
    EXPECT_TRUE(HasEvent("No User Tables Entry: x??01/01/2020 00:00:00 COM1 User Connected"));
}

TEST_F(SecureServer, RepeatedFailuresDisableTheAccountAfterItsThreshold) {
    ASSERT_TRUE(StartServer(1));
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(session.Logon("three", "pw", 5), FrameType::Failed);
        ASSERT_TRUE(Settled());
        EXPECT_EQ(Row(*store, "three").consecutiveFailures, i);
        EXPECT_EQ(Row(*store, "three").disabled, i == 4) << "failure " << i;
    }
    EXPECT_TRUE(HasEvent("Account Auto-Disabled: three (three Full)"));
    EXPECT_EQ(session.Logon("three", "pw"), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(HasEvent("Account Disabled: three (three Full)"));
}

TEST_F(SecureServer, SecondaryPasswordsAtLevelTwo) {
    ASSERT_TRUE(StartServer(2));
    for (const char* psw2 : {"NEWPW", "OLDPW"}) {
        EXPECT_EQ(session.Logon("two", "pw", 0, std::string(psw2)), FrameType::Done) << psw2;
        ASSERT_TRUE(Settled());
        EXPECT_EQ(session.RequestType(FrameType::Disconnect, {}), FrameType::Done);
        ASSERT_TRUE(Settled());
    }
    EXPECT_EQ(session.Logon("two", "pw", 0, std::string("WRONG")), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_TRUE(HasEvent("Secondary Password Failure: two (two Full)"));
    EXPECT_EQ(session.Logon("two", "pw"), FrameType::Failed) << "a response of 4 bytes lacks the secondary one";
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.Logon("two", "pw", 1, std::string("NEWPW")), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(Row(*store, "two").consecutiveFailures, 3);
}

TEST_F(SecureServer, AResponseTooShortToHoldItsNumberIsAProtocolError) {
    ASSERT_TRUE(StartServer(1));
    auto challenge = session.Request(FrameType::Connect, RemoteSession::Name("jim"));
    ASSERT_TRUE(challenge);
    ASSERT_EQ(challenge->type, FrameType::Challenge);
    EXPECT_EQ(session.RequestType(FrameType::Response, Bytes{1, 2}), FrameType::ProtocolError);
    ASSERT_TRUE(Settled());
    EXPECT_NE(server.Snapshot().current.state, SessionState::Connected);
    EXPECT_EQ(Row(*store, "jim").consecutiveFailures, 0) << "no password was tried";
    EXPECT_EQ(session.Logon("jim", "secret"), FrameType::Done);
}

TEST_F(SecureServer, TheUsersRightsLimitPaths) {
    server.Paths().SetNetworkTest([](const std::string& p) { return p.find("NET") != std::string::npos; });
    ASSERT_TRUE(StartServer(1));
    WriteFile(box.server() / "X.TXT", std::string("x"));
    struct Case {
        const char* name;
        SecurityCounter counter;
    } refused[] = {
        {"C:\\DATA\\X.TXT", SecurityCounter::OtherDirRefusals},
        {"\\\\srv\\share\\X.TXT", SecurityCounter::UncRefusals},
        {"A$B.TXT", SecurityCounter::DollarRefusals},
        {"NET.TXT", SecurityCounter::NetDriveRefusals},
    };
    for (const auto& c : refused) {
        ASSERT_EQ(session.Logon("plain", "pw"), FrameType::Done);
        ASSERT_TRUE(Settled());
        const auto before = server.SecurityCount(c.counter);
        Bytes out;
        EXPECT_EQ(session.Download(c.name, out), FrameType::Failed) << c.name;
        ASSERT_TRUE(Settled());
        EXPECT_EQ(server.SecurityCount(c.counter), before + 1) << c.name;
        EXPECT_NE(server.Snapshot().current.state, SessionState::Connected) << "a refusal ends the session";
    }
    ASSERT_EQ(session.Logon("plain", "pw"), FrameType::Done);
    ASSERT_TRUE(Settled());
    Bytes out;
    EXPECT_EQ(session.Download("x.txt", out), FrameType::Done) << "a bare name is allowed";
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.RequestType(FrameType::ProgramRun, RemoteSession::Name("true")), FrameType::Failed);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(server.SecurityCount(SecurityCounter::ProgramRunRefusals), 1u);
    EXPECT_TRUE(HasEvent("File PrgRun Failed: Security Violation true"));
}

TEST_F(SecureServer, TheServersOwnFilesAreOutOfReachWhateverTheUsersRights) {
    const fs::path ini = box.server() / "Quendar32.Ini";
    const std::string settings = "[Security]\r\nEnforceSecurity=1\r\n";
    WriteFile(ini, settings);
    WriteFile(box.server() / "$$$UDb.DBF", std::string("table"));
    WriteFile(box.server() / "$$$UDb.Ntx", std::string("index"));
    WriteFile(box.server() / "X.TXT", std::string("x"));
    fs::create_symlink(ini, box.server() / "cfg.txt");
    std::vector<std::string> own = UserTableFiles(box.server().string());
    own.push_back(ini.string());
    own.push_back((box.server() / "History.Log").string());
    server.Paths().SetServerFiles(own);
    ASSERT_TRUE(StartServer(1));

    auto joined = [](const std::string& a, const std::string& b) {
        Bytes v = RemoteSession::Name(a);
        const Bytes w = RemoteSession::Name(b);
        v.insert(v.end(), w.begin(), w.end());
        return v;
    };
    const std::string names[] = {"Quendar32.Ini", "QUENDAR32.INI", "sub\\..\\quendar32.ini",
                                 "cfg.txt",       "$$$udb.dbf",    "$$$UDb.Ntx",
                                 "$$$UDB.DBT",    "history.log"};
    for (const auto& n : names) {
        // jim may do anything a user can: each refusal is a security abort that ends his session.
        const std::vector<std::function<int()>> operations = {
            [&] {
                Bytes out;
                return session.Download(n, out);
            },
            [&] {
                return session.Upload(n, Bytes{'E', 'n', 'f', 'o', 'r', 'c', 'e', '=', '0'});
            },
            [&] { return session.Upload(n, Bytes{'x'}, TransferMode::Appended); },
            [&] { return session.RequestType(FrameType::FileDelete, RemoteSession::Name(n)); },
            [&] { return session.RequestType(FrameType::FileInfo, RemoteSession::Name(n)); },
            [&] { return session.RequestType(FrameType::FileMove, joined(n, "COPY.TXT")); },
            [&] { return session.RequestType(FrameType::FileMove, joined("X.TXT", n)); },
        };
        for (std::size_t i = 0; i < operations.size(); ++i) {
            ASSERT_EQ(session.Logon("jim", "secret"), FrameType::Done);
            ASSERT_TRUE(Settled());
            EXPECT_EQ(operations[i](), FrameType::Failed) << n << " operation " << i;
            ASSERT_TRUE(Settled());
            EXPECT_NE(server.Snapshot().current.state, SessionState::Connected) << n << " operation " << i;
        }
    }
    EXPECT_EQ(Text(ReadFile(ini)), settings);
    EXPECT_TRUE(fs::is_symlink(box.server() / "cfg.txt"));
    EXPECT_EQ(Text(ReadFile(box.server() / "$$$UDb.DBF")), "table");
    EXPECT_EQ(Text(ReadFile(box.server() / "$$$UDb.Ntx")), "index");
    EXPECT_EQ(Text(ReadFile(box.server() / "X.TXT")), "x");
    EXPECT_FALSE(fs::exists(box.server() / "COPY.TXT"));
    for (const char* made : {"History.Log", "history.log", "$$$UDB.DBT"})
        EXPECT_FALSE(fs::exists(box.server() / made)) << made;

    // Everything else stays within reach.
    ASSERT_EQ(session.Logon("jim", "secret"), FrameType::Done);
    ASSERT_TRUE(Settled());
    Bytes out;
    EXPECT_EQ(session.Download("x.txt", out), FrameType::Done);
    ASSERT_TRUE(Settled());
    EXPECT_EQ(session.Download("*.*", out, TransferMode::Listing), FrameType::Done) << "a listing names them";
}

TEST_F(ServerOverPty, HostileNamesAndTruncatedRequestsAreRefusedAndTouchNothingOutside) {
    ASSERT_TRUE(StartServer(0));
    WriteFile(box.outside() / "victim.txt", std::string("keep"));
    fs::create_directory_symlink(box.outside(), box.server() / "link");
    fs::create_symlink(box.outside() / "victim.txt", box.server() / "v.txt");
    const std::string longName(261, 'n');
    const std::vector<std::string> names = {
        "..\\..\\outside\\victim.txt",
        "../outside/victim.txt",
        "..\\..\\etc\\passwd",
        "C:\\..\\..\\outside\\victim.txt",
        "C:..\\outside\\victim.txt",
        "\\\\server\\share\\victim.txt",
        "//server/share/victim.txt",
        "Q:\\victim.txt",
        "link\\victim.txt",
        "v.txt",
        longName,
        std::string("A.TXT\0..\\..\\outside\\victim.txt", 31),
    };
    auto nameBytes = [](const std::string& n) {
        Bytes b(n.begin(), n.end());
        b.push_back(0);
        return b;
    };
    for (const auto& n : names) {
        const std::string shown = n.substr(0, 40);
        EXPECT_EQ(session.Upload(n, Bytes{'b', 'a', 'd'}), FrameType::Failed) << shown;
        ASSERT_TRUE(Settled());
        Bytes out;
        EXPECT_EQ(session.Download(n, out), FrameType::Failed) << shown;
        ASSERT_TRUE(Settled());
        EXPECT_EQ(session.Download(n + "\\*.*", out, TransferMode::Listing), FrameType::Failed) << shown;
        ASSERT_TRUE(Settled());
        EXPECT_EQ(session.RequestType(FrameType::FileDelete, nameBytes(n)), FrameType::Failed) << shown;
        ASSERT_TRUE(Settled());
        EXPECT_EQ(session.RequestType(FrameType::FileInfo, nameBytes(n)), FrameType::Failed) << shown;
        ASSERT_TRUE(Settled());
        Bytes move = nameBytes(n);
        for (auto c : nameBytes("MOVED.TXT"))
            move.push_back(c);
        EXPECT_EQ(session.RequestType(FrameType::FileMove, move), FrameType::Failed) << shown;
        ASSERT_TRUE(Settled());
        WriteFile(box.server() / "SRC.TXT", std::string("s"));
        move = nameBytes("SRC.TXT");
        for (auto c : nameBytes(n))
            move.push_back(c);
        EXPECT_EQ(session.RequestType(FrameType::FileMove, move), FrameType::Failed) << shown;
        ASSERT_TRUE(Settled());
    }
    // Requests too short for what their type carries.
    const std::pair<int, Bytes> truncated[] = {
        {FrameType::FileReceive, Bytes{0xD1, 0x07, 0}},
        {FrameType::FileSend, Bytes{0xD1, 0x07, 0, 0, 0}},
        {FrameType::ClockRequest, Bytes{9, 'a'}},
        {FrameType::ClockRequest, Bytes{}},
        {FrameType::FileMove, Bytes{'S', 'R', 'C'}},
        {FrameType::SetOptions, Bytes{1}},
        {FrameType::FileDelete, Bytes{}},
        {FrameType::FileInfo, Bytes{}},
        {FrameType::ProgramRun, Bytes{}},
    };
    for (const auto& [type, payload] : truncated) {
        EXPECT_EQ(session.RequestType(type, payload), FrameType::Failed) << type;
        ASSERT_TRUE(Settled());
    }
    EXPECT_EQ(Text(ReadFile(box.outside() / "victim.txt")), "keep");
    EXPECT_EQ(std::distance(fs::directory_iterator(box.outside()), fs::directory_iterator()), 1);
    EXPECT_FALSE(fs::exists(box.server() / "MOVED.TXT"));
    EXPECT_TRUE(fs::exists(box.server() / "SRC.TXT"));
    EXPECT_FALSE(fs::exists(box.root / "etc"));
    // A rooted name without a drive stays inside the server's own folder: nothing there, nothing read.
    auto info = session.Request(FrameType::FileInfo, nameBytes("/etc/passwd"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->type, FrameType::FileInfoReply);
    EXPECT_EQ(info->payload.at(0), 0);
    ASSERT_TRUE(Settled());
    Bytes out;
    EXPECT_EQ(session.Download("/etc/passwd", out), FrameType::Failed);
    ASSERT_TRUE(Settled());
    // The link is still up.
    EXPECT_EQ(session.RequestType(FrameType::ClockRequest, Bytes{0}), FrameType::ClockReply);
}

} // namespace
