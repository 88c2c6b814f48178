// Probes from outside the engine's own process: a process appending is killed at random points, its disk fills up,
// and another process opens the table, or walks and seeks a tag, while it appends. What an append confirmed (the child
// writes the record number of each d4append that returned 0 to a pipe) must be in the file, seen through the engine
// and through an outside reader, and the table and its index must open and agree afterwards.
#include "NtxWalker.h"
#include "XbaseTestUtil.h"
#include "xbase/t4tag.h"

#include <csignal>
#include <map>
#include <poll.h>
#include <random>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace xbt;

namespace {

const FIELD4INFO kFields[] = {{"NAME", 'C', 12, 0}, {"SEQ", 'N', 8, 0}, {nullptr, 0, 0, 0}};
constexpr long kHeaderLen = 32 + 2 * 32 + 1;
constexpr long kWidth = 1 + 12 + 8;

enum class Mode { Exclusive, SharedBatch, SharedEach };
struct ModeCase {
    const char* name;
    Mode mode;
};
void PrintTo(const ModeCase& m, std::ostream* os) {
    *os << m.name;
}
const ModeCase kModes[] = {
    {"exclusive", Mode::Exclusive},
    {"shared, append lock held across batches of 10", Mode::SharedBatch},
    {"shared, each append locking itself", Mode::SharedEach},
};

std::string nameOf(int round, long i) {
    return "R" + std::to_string(round) + "-" + std::to_string(i);
}

// One message of a child: the record number a d4append confirmed and the sequence number of its values; or, with
// n < 0, a result: -1 the code of the append that failed, -2 the code of d4close.
struct Note {
    long n;
    long value;
};

void sendNote(int fd, long n, long value) {
    const Note note{n, value};
    if (::write(fd, &note, sizeof note) != long(sizeof note))
        ::_exit(9);
}

// The child: appends in `mode` until it is stopped or an append fails, and tells fd about each confirmed record.
// At most `limit` appends (-1: no limit). Never returns.
[[noreturn]] void appendUntilStopped(Mode mode, const char* index, int round, int fd, long limit) {
    CODE4 c;
    if (code4init(&c) != 0)
        ::_exit(2);
    c.autoOpen = 0;
    c.shareMode = mode == Mode::Exclusive ? 1 : 0;
    DATA4* d = d4open(&c, "t.dbf");
    if (!d || (index && !i4open(d, index)))
        ::_exit(3);
    FIELD4* name = d4field(d, "NAME");
    FIELD4* seq = d4field(d, "SEQ");
    if (mode == Mode::SharedBatch && d4lockAppend(d) != 0)
        ::_exit(4);
    for (long i = 0; limit < 0 || i < limit; ++i) {
        d4appendStart(d);
        f4assign(name, nameOf(round, i).c_str());
        f4assignLong(seq, i);
        const int rc = d4append(d);
        if (rc != 0) {
            sendNote(fd, -1, rc);
            error4set(&c, 0);
            sendNote(fd, -2, d4close(d));
            ::_exit(0);
        }
        sendNote(fd, d4recNo(d), i);
        if (mode == Mode::SharedBatch && i % 10 == 9 && (d4unlock(d) != 0 || d4lockAppend(d) != 0))
            ::_exit(5);
    }
    sendNote(fd, -2, d4close(d));
    ::_exit(0);
}

struct Child {
    pid_t pid = -1;
    int fd = -1; // read end of the child's notes
};

template <class F> Child startChild(F body) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        body(fds[1]);
        ::_exit(0);
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

// Reads one note; false at the end of the pipe (the child is gone).
bool readNote(int fd, Note& note) {
    size_t got = 0;
    while (got < sizeof note) {
        const long n = ::read(fd, reinterpret_cast<char*>(&note) + got, sizeof note - got);
        if (n <= 0)
            return false;
        got += size_t(n);
    }
    return true;
}

int finish(Child& c) {
    ::close(c.fd);
    int status = 0;
    ::waitpid(c.pid, &status, 0);
    return status;
}

void createTable(CODE4& cb, bool withIndex) {
    DATA4* d = d4create(&cb, "t.dbf", kFields);
    ASSERT_NE(d, nullptr) << error4code(&cb);
    if (withIndex) {
        ASSERT_NE(i4create(d, "t.ntx", "NAME"), nullptr) << error4code(&cb);
    }
    ASSERT_EQ(d4close(d), 0);
}

// The records python's dbf module finds: "NAME" of each, in record order.
std::vector<std::string> outsideNames() {
    int status = -1;
    const std::string out = python(R"(
import dbf
t = dbf.Table('t.dbf'); t.open(dbf.READ_ONLY)
for r in t: print(r.name.strip())
)",
                                   &status);
    EXPECT_EQ(status, 0) << out;
    std::vector<std::string> names;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        names.push_back(line);
    return names;
}

class CrashTest : public EngineTest {
protected:
    // Opens the table and its index alone in this process (as after a restart) and checks them against what was
    // confirmed: each confirmed record holds its values, and the tag walks every record of the count exactly once.
    void checkTable(const std::map<long, std::string>& confirmed, bool withIndex) {
        cb.shareMode = 1;
        DATA4* d = d4open(&cb, "t.dbf");
        ASSERT_NE(d, nullptr) << "the table no longer opens: " << error4code(&cb);
        const long count = d4recCount(d);
        long missing = 0;
        for (const auto& [n, name] : confirmed) {
            if (n > count) {
                ++missing;
                continue;
            }
            ASSERT_EQ(d4go(d, n), 0);
            EXPECT_EQ(trimRight(f4str(d4field(d, "NAME"))), name) << "record " << n;
        }
        EXPECT_EQ(missing, 0) << "confirmed records past the count of " << count;
        if (withIndex) {
            INDEX4* x = i4open(d, "t.ntx");
            ASSERT_NE(x, nullptr) << "the index no longer opens: " << error4code(&cb);
            d4tagSelect(d, i4tag(x));
            std::set<long> seen;
            std::string last;
            for (int rc = d4top(d); rc == 0 && !d4eof(d); rc = d4skip(d, 1)) {
                ASSERT_EQ(error4code(&cb), 0);
                EXPECT_TRUE(seen.insert(d4recNo(d)).second) << "record " << d4recNo(d) << " twice in the tag";
                const std::string key = f4str(d4field(d, "NAME"));
                EXPECT_LE(last, key);
                last = key;
            }
            EXPECT_EQ(error4code(&cb), 0);
            EXPECT_EQ(long(seen.size()), count) << "keys in the tag for " << count << " records";
        }
        EXPECT_EQ(d4close(d), 0);
    }
};

} // namespace

class KillTest : public CrashTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(KillTest, AKilledAppendLosesNoConfirmedRecordAndLeavesTableAndIndexInStep) {
    std::mt19937 rng(20261211);
    {
        const ModeCase& m = GetParam();
        createTable(cb, true);
        std::map<long, std::string> confirmed; // over every round: record number -> NAME
        for (int round = 0; round < 12; ++round) {
            SCOPED_TRACE(round);
            const long killAfter = 20 + long(rng() % 600);
            Child c = startChild([&](int fd) { appendUntilStopped(m.mode, "t.ntx", round, fd, -1); });
            ASSERT_GT(c.pid, 0);
            Note note{};
            long notes = 0;
            while (notes < killAfter && readNote(c.fd, note) && note.n > 0) {
                confirmed[note.n] = nameOf(round, note.value);
                ++notes;
            }
            ::kill(c.pid, SIGKILL);
            while (readNote(c.fd, note))
                if (note.n > 0)
                    confirmed[note.n] = nameOf(round, note.value);
            const int status = finish(c);
            ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << status;
            checkTable(confirmed, true);
            if (HasFatalFailure() || HasFailure())
                break;
        }
        // An outside reader finds every confirmed record where the engine put it.
        const std::vector<std::string> names = outsideNames();
        long differ = 0;
        std::string first;
        for (const auto& [n, name] : confirmed)
            if (n > long(names.size()) || names[size_t(n - 1)] != name) {
                if (!differ++)
                    first = "record " + std::to_string(n) + " should hold " + name;
            }
        EXPECT_EQ(differ, 0) << "confirmed records the outside reader does not find, the first: " << first;
        EXPECT_EQ(walkNtx(readFile("t.ntx")).entries.size(), names.size());
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMode, KillTest, ::testing::ValuesIn(kModes),
                         [](const ::testing::TestParamInfo<ModeCase>& info) {
                             return info.param.mode == Mode::Exclusive     ? std::string("Exclusive")
                                    : info.param.mode == Mode::SharedBatch ? std::string("SharedBatch")
                                                                           : std::string("SharedEach");
                         });

TEST_F(CrashTest, AFullDiskFailsTheAppendThatDoesNotFitAndTheTableOpensAfterwards) {
    for (const ModeCase& m : kModes) {
        SCOPED_TRACE(m.name);
        createTable(cb, false);
        const long start = kHeaderLen + 1;
        // Room for 40 records and part of the 41st, as a disk that fills up leaves it.
        const long limit = start + 40 * kWidth + kWidth / 2;
        Child c = startChild([&](int fd) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit r{rlim_t(limit), rlim_t(limit)};
            if (::setrlimit(RLIMIT_FSIZE, &r) != 0)
                ::_exit(6);
            appendUntilStopped(m.mode, nullptr, 0, fd, 100);
        });
        ASSERT_GT(c.pid, 0);
        std::map<long, std::string> confirmed;
        int failed = 0, closed = 1;
        for (Note note{}; readNote(c.fd, note);) {
            if (note.n > 0)
                confirmed[note.n] = nameOf(0, note.value);
            else if (note.n == -1)
                failed = int(note.value);
            else
                closed = int(note.value);
        }
        EXPECT_EQ(finish(c), 0);
        // The append that did not fit said so itself; the close had nothing left to write.
        EXPECT_EQ(failed, e4write);
        EXPECT_EQ(closed, 0);
        EXPECT_EQ(long(confirmed.size()), 40);
        const std::string bytes = readFile("t.dbf");
        EXPECT_EQ(long(bytes.size()), kHeaderLen + 40 * kWidth + 1);
        EXPECT_EQ(bytes.back(), '\x1a');
        // With room again, the table opens in every mode, counts the confirmed records and takes more.
        for (unsigned char shareMode : {1, 2, 0}) {
            SCOPED_TRACE(int(shareMode));
            cb.shareMode = shareMode;
            DATA4* d = d4open(&cb, "t.dbf");
            ASSERT_NE(d, nullptr) << error4code(&cb);
            EXPECT_EQ(d4recCount(d), 40);
            EXPECT_EQ(d4close(d), 0);
        }
        checkTable(confirmed, false);
        cb.shareMode = 0;
        DATA4* d = d4open(&cb, "t.dbf");
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(d4appendStart(d), 0);
        ASSERT_EQ(f4assign(d4field(d, "NAME"), "AFTER"), 0);
        ASSERT_EQ(d4append(d), 0);
        ASSERT_EQ(d4close(d), 0);
        const std::vector<std::string> names = outsideNames();
        ASSERT_EQ(names.size(), 41u);
        for (const auto& [n, name] : confirmed)
            EXPECT_EQ(names[size_t(n - 1)], name);
        EXPECT_EQ(names.back(), "AFTER");
        ::unlink("t.dbf");
    }
}

TEST_F(CrashTest, AReaderWalksAndSeeksATagWhileAnotherProcessAppends) {
    for (Mode mode : {Mode::SharedBatch, Mode::SharedEach}) {
        SCOPED_TRACE(int(mode));
        createTable(cb, true);
        constexpr long kAppends = 2000;
        Child c = startChild([&](int fd) { appendUntilStopped(mode, "t.ntx", 0, fd, kAppends); });
        ASSERT_GT(c.pid, 0);
        cb.shareMode = 0;
        DATA4* d = d4open(&cb, "t.dbf");
        ASSERT_NE(d, nullptr);
        INDEX4* x = i4open(d, "t.ntx");
        ASSERT_NE(x, nullptr);
        d4tagSelect(d, i4tag(x));
        std::vector<std::string> names;
        long walks = 0;
        bool done = false;
        while (!done && !HasFailure()) {
            // Take in what the appender has confirmed so far, without waiting for more.
            pollfd p{c.fd, POLLIN, 0};
            while (::poll(&p, 1, 0) > 0) {
                Note note{};
                if (!readNote(c.fd, note)) {
                    done = true;
                    break;
                }
                if (note.n > 0)
                    names.push_back(nameOf(0, note.value));
            }
            // Every confirmed record is found by an unlocked seek.
            for (size_t i = names.size() > 20 ? names.size() - 20 : 0; i < names.size(); ++i) {
                const std::string key = names[i] + std::string(12 - names[i].size(), ' ');
                EXPECT_EQ(d4seek(d, key.c_str()), 0) << names[i];
                EXPECT_EQ(trimRight(f4str(d4field(d, "NAME"))), names[i]);
            }
            // A walk of the tag meets only records that are there, each once, in key order.
            std::set<long> seen;
            std::string last;
            int rc = d4tagBottom(d);
            EXPECT_GE(rc, 0);
            for (rc = d4top(d); rc == 0 && !d4eof(d); rc = d4skip(d, 1)) {
                EXPECT_TRUE(seen.insert(d4recNo(d)).second) << d4recNo(d);
                const std::string key = f4str(d4field(d, "NAME"));
                EXPECT_LE(last, key);
                last = key;
            }
            EXPECT_TRUE(rc == 0 || rc == r4eof) << rc;
            EXPECT_EQ(error4code(&cb), 0);
            error4set(&cb, 0);
            ++walks;
        }
        EXPECT_EQ(finish(c), 0);
        EXPECT_EQ(long(names.size()), kAppends);
        EXPECT_GT(walks, 0);
        closeAll();
        checkTable({}, true);
        ::unlink("t.dbf");
        ::unlink("t.ntx");
    }
}

namespace {

// The child: opens the table shared and appends one record for each byte that arrives on goFd, telling notesFd about
// each as appendUntilStopped does; closes the table when goFd ends. Never returns.
[[noreturn]] void appendOnRequest(int goFd, int notesFd) {
    CODE4 c;
    if (code4init(&c) != 0)
        ::_exit(2);
    c.autoOpen = 0;
    c.shareMode = 0;
    DATA4* d = d4open(&c, "t.dbf");
    if (!d)
        ::_exit(3);
    FIELD4* name = d4field(d, "NAME");
    FIELD4* seq = d4field(d, "SEQ");
    char go;
    for (long i = 0; ::read(goFd, &go, 1) == 1; ++i) {
        d4appendStart(d);
        f4assign(name, nameOf(0, i).c_str());
        f4assignLong(seq, i);
        const int rc = d4append(d);
        if (rc != 0) {
            sendNote(notesFd, -1, rc);
            error4set(&c, 0);
        } else
            sendNote(notesFd, d4recNo(d), i);
    }
    sendNote(notesFd, -2, d4close(d));
    ::_exit(0);
}

// A file layer under which another process appends two records between any two calls an open makes: after each
// length and each read while armed, it has the appender add two records and waits until they are confirmed.
struct AppendsBetweenCalls : FILE4SYS {
    int goFd = -1, notesFd = -1;
    bool armed = false;
    long appends = 0, appendsFailed = 0;
    void letTwoAppendsLand() {
        if (!armed)
            return;
        for (int i = 0; i < 2; ++i) {
            Note note{};
            if (::write(goFd, "+", 1) != 1 || !readNote(notesFd, note))
                return;
            ++(note.n > 0 ? appends : appendsFailed);
        }
    }
    long size(int fd) override {
        const long n = FILE4SYS::size(fd);
        letTwoAppendsLand();
        return n;
    }
    long pread(int fd, void* buf, long len, long pos) override {
        const long n = FILE4SYS::pread(fd, buf, len, pos);
        letTwoAppendsLand();
        return n;
    }
};

class OpenWhileAppendingTest : public CrashTest {
protected:
    AppendsBetweenCalls sys;
};

} // namespace

TEST_F(OpenWhileAppendingTest, ASharedOpenSucceedsWhileAnotherProcessAppends) {
    createTable(cb, false);
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    Child c = startChild([&](int fd) {
        ::close(go[1]);
        appendOnRequest(go[0], fd);
    });
    ASSERT_GT(c.pid, 0);
    ::close(go[0]);
    // An appender that stopped early shows as appends missing below, not as a test program killed by SIGPIPE.
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    sys.goFd = go[1];
    sys.notesFd = c.fd;
    cb.sys = &sys;
    cb.shareMode = 0;
    long failed = 0, lastCount = 0;
    int firstError = 0;
    constexpr long kOpens = 50;
    for (long i = 0; i < kOpens; ++i) {
        sys.armed = true;
        DATA4* d = d4open(&cb, "t.dbf");
        sys.armed = false;
        if (!d) {
            if (!failed++)
                firstError = error4code(&cb);
            error4set(&cb, 0);
            continue;
        }
        // The table it opened counts only records that are there: the last of them holds the value appended last.
        const long count = d4recCount(d);
        EXPECT_GE(count, lastCount);
        lastCount = count;
        if (count > 0) {
            EXPECT_EQ(d4go(d, count), 0);
            EXPECT_EQ(trimRight(f4str(d4field(d, "NAME"))), nameOf(0, count - 1));
        }
        EXPECT_EQ(d4close(d), 0);
        error4set(&cb, 0);
    }
    ::close(go[1]);
    EXPECT_EQ(failed, 0) << "opens that failed of " << kOpens << ", the first with " << firstError;
    EXPECT_EQ(sys.appendsFailed, 0);
    EXPECT_GE(sys.appends, 4 * kOpens) << "appends that landed while the opens ran";
    EXPECT_EQ(lastCount, sys.appends);
    Note note{};
    EXPECT_TRUE(readNote(c.fd, note) && note.n == -2 && note.value == 0) << "the appender's close: " << note.value;
    EXPECT_EQ(finish(c), 0);
    std::signal(SIGPIPE, oldPipe);
    cb.sys = nullptr;
    checkTable({}, false);
}

TEST_F(CrashTest, AnIndexLeftHalfChangedIsRebuiltAtOpenOrReported) {
    // What a process killed while it holds index pages in memory leaves on disk: a copy of both files taken then.
    cb.shareMode = 1;
    createTable(cb, true);
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    ASSERT_NE(i4open(d, "t.ntx"), nullptr);
    for (long i = 0; i < 500; ++i) {
        ASSERT_EQ(d4appendStart(d), 0);
        f4assign(d4field(d, "NAME"), nameOf(7, (i * 7919) % 500).c_str());
        ASSERT_EQ(d4append(d), 0);
    }
    ASSERT_EQ(run("cp t.dbf k.dbf && cp t.ntx k.ntx && echo ok"), "ok\n");
    ASSERT_EQ(d4close(d), 0);
    const NtxWalk asLeft = walkNtx(readFile("k.ntx"));
    EXPECT_NE(asLeft.entries.size(), 500u) << "the copy should miss the keys still in memory";

    struct Case {
        const char* name;
        unsigned char shareMode;
        int readOnly;
        bool rebuilt;
    } cases[] = {{"exclusive", 1, 0, true}, {"shared", 0, 0, true}, {"read only", 0, 1, false}};
    const std::string dbf = readFile("k.dbf"), ntx = readFile("k.ntx");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path("k.dbf"), dbf);
        writeFile(path("k.ntx"), ntx);
        cb.shareMode = c.shareMode;
        cb.readOnlyOpen = c.readOnly;
        d = d4open(&cb, "k.dbf");
        ASSERT_NE(d, nullptr);
        INDEX4* x = i4open(d, "k.ntx");
        if (!c.rebuilt) {
            // Never used as it stands: the open reports the index as not a correct one.
            EXPECT_EQ(x, nullptr);
            EXPECT_EQ(error4code(&cb), e4index);
            closeAll();
            continue;
        }
        ASSERT_NE(x, nullptr) << error4code(&cb);
        d4tagSelect(d, i4tag(x));
        long walked = 0;
        for (int rc = d4top(d); rc == 0 && !d4eof(d); rc = d4skip(d, 1))
            ++walked;
        EXPECT_EQ(walked, 500);
        EXPECT_EQ(d4seek(d, nameOf(7, 123).c_str()), 0);
        EXPECT_EQ(d4close(d), 0);
        const std::string fixed = readFile("k.ntx");
        EXPECT_EQ(walkNtx(fixed).entries.size(), 500u);
        EXPECT_EQ(fixed[t4markOffset], '\0');
    }
    cb.readOnlyOpen = 0;
}

TEST_F(CrashTest, AStopBetweenRecordAndCountLeavesATableThatOpensInEveryMode) {
    createTable(cb, false);
    cb.shareMode = 1;
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    for (const char* name : {"ONE", "TWO", "THREE"}) {
        ASSERT_EQ(d4appendStart(d), 0);
        f4assign(d4field(d, "NAME"), name);
        ASSERT_EQ(d4append(d), 0);
    }
    ASSERT_EQ(d4close(d), 0);
    // The third record is whole in the file, its count never came: the header still says 2.
    std::string bytes = readFile("t.dbf");
    bytes[4] = 2;
    writeFile(path("t.dbf"), bytes);
    EXPECT_EQ(outsideNames(), (std::vector<std::string>{"ONE", "TWO"}));
    for (unsigned char shareMode : {1, 2, 0}) {
        SCOPED_TRACE(int(shareMode));
        cb.shareMode = shareMode;
        d = d4open(&cb, "t.dbf");
        ASSERT_NE(d, nullptr) << error4code(&cb);
        EXPECT_EQ(d4recCount(d), 2);
        EXPECT_EQ(d4go(d, 3), e4read);
        error4set(&cb, 0);
        EXPECT_EQ(d4close(d), 0);
    }
    // The next append takes the place of the record the count never counted.
    cb.shareMode = 1;
    d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4appendStart(d), 0);
    f4assign(d4field(d, "NAME"), "NEW");
    ASSERT_EQ(d4append(d), 0);
    EXPECT_EQ(d4recNo(d), 3);
    ASSERT_EQ(d4close(d), 0);
    EXPECT_EQ(long(readFile("t.dbf").size()), kHeaderLen + 3 * kWidth + 1);
    EXPECT_EQ(outsideNames(), (std::vector<std::string>{"ONE", "TWO", "NEW"}));
}
