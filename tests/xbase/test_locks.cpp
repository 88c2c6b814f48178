// Record, append and file locks against another process, within one process, and on unshared files.
#include "FakeSys4.h"
#include "XbaseTestUtil.h"

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

using namespace xbt;

namespace {


// Another program holding a byte range through fcntl locks (which conflict with the engine's OFD locks). It locks,
// writes "ready", and lets go when "release" appears or after 30 seconds.
class Holder {
public:
    Holder(const std::string& file, long start, long len) {
        writeFile("holder.py", R"(
import fcntl, os, sys, time
fd = os.open(sys.argv[1], os.O_RDWR)
fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB, int(sys.argv[3]), int(sys.argv[2]))
open('ready', 'w').close()
for i in range(1500):
    if os.path.exists('release'): break
    time.sleep(0.02)
)");
        std::remove("ready");
        std::remove("release");
        pipe = ::popen(
            ("/usr/bin/python3 holder.py " + file + " " + std::to_string(start) + " " + std::to_string(len)).c_str(),
            "r");
        for (int i = 0; i < 1000 && ::access("ready", F_OK) != 0; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(::access("ready", F_OK), 0) << "the lock holder did not start";
    }
    ~Holder() { release(); }
    void release() {
        if (!pipe)
            return;
        writeFile("release", "");
        ::pclose(pipe);
        pipe = nullptr;
    }

private:
    FILE* pipe = nullptr;
};

// Whether another process finds the range free.
bool freeForOthers(const std::string& file, long start, long len) {
    writeFile("probe.py", R"(
import fcntl, os, sys
fd = os.open(sys.argv[1], os.O_RDWR)
try:
    fcntl.lockf(fd, fcntl.LOCK_EX | fcntl.LOCK_NB, int(sys.argv[3]), int(sys.argv[2])); print('free')
except OSError: print('busy')
)");
    return run("/usr/bin/python3 probe.py " + file + " " + std::to_string(start) + " " + std::to_string(len)) ==
           "free\n";
}

class LockTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        cb.sys = &sys;
        DATA4* d = d4create(&cb, "t.dbf", xbt::kNameNumberFields);
        ASSERT_NE(d, nullptr);
        for (int i = 0; i < 5; i++)
            ASSERT_EQ(d4append(d), 0);
        ASSERT_EQ(d4close(d), 0);
    }
    FakeSys4 sys;
};

} // namespace

TEST_F(LockTest, RecordHeldByAnotherProcessIsRetriedAsLockTriesSays) {
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    Holder holder("t.dbf", lock4base + 3, 1);
    struct Case {
        int tries;
        int attempts;
        int waits;
    } cases[] = {{0, 1, 0}, {1, 1, 0}, {3, 3, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tries);
        cb.lockTries = c.tries;
        sys.resetCounts();
        EXPECT_EQ(d4lock(d, 3), r4locked);
        EXPECT_EQ(sys.sleeps, c.waits);
        EXPECT_EQ(cb.lockedRecord, 3);
        EXPECT_EQ(error4code(&cb), 0); // a refusal is no error
    }
    EXPECT_EQ(d4lock(d, 2), 0); // the neighbour is free
    EXPECT_FALSE(freeForOthers("t.dbf", lock4base + 2, 1));
    holder.release();
    cb.lockTries = 0;
    EXPECT_EQ(d4lock(d, 3), 0);
    EXPECT_TRUE(d4lockTest(d, 3));
    EXPECT_FALSE(freeForOthers("t.dbf", lock4base + 3, 1));
    ASSERT_EQ(d4unlock(d), 0);
    EXPECT_TRUE(freeForOthers("t.dbf", lock4base + 3, 1));
    EXPECT_EQ(d4lock(d, 0), e4parm);
}

TEST_F(LockTest, AppendByteAndWholeFileContend) {
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    cb.lockTries = 2;
    {
        Holder holder("t.dbf", lock4base, 1);
        EXPECT_EQ(d4lockAppend(d), r4locked);
        EXPECT_EQ(d4append(d), r4locked);
        EXPECT_EQ(d4lock(d, 1), 0); // records do not touch the append byte
        EXPECT_EQ(d4unlock(d), 0);
    }
    {
        Holder holder("t.dbf", lock4base, lock4fileLen);
        EXPECT_EQ(d4lock(d, 4), r4locked);
        EXPECT_EQ(d4lockFile(d), r4locked);
    }
    EXPECT_EQ(d4lockFile(d), 0);
    EXPECT_FALSE(freeForOthers("t.dbf", lock4base + 777, 1));
    EXPECT_TRUE(d4lockTest(d, 5)); // the file lock covers every record
    EXPECT_EQ(d4append(d), 0);
    EXPECT_EQ(d4unlock(d), 0);
    EXPECT_TRUE(freeForOthers("t.dbf", lock4base, lock4fileLen));
    EXPECT_EQ(d4recCount(d), 6);
}

TEST_F(LockTest, TwoHandlesOfOneProcessAreToldApartByTheEngine) {
    cb.duplicateOpenCheck = 0;
    DATA4* a = d4open(&cb, "t.dbf");
    DATA4* b = d4open(&cb, "t.dbf");
    ASSERT_TRUE(a && b);
    cb.unlockAuto = 2; // b's lock attempts must not release a's locks
    ASSERT_EQ(d4lock(a, 2), 0);
    cb.lockTries = 3;
    sys.resetCounts();
    EXPECT_EQ(d4lock(b, 2), r4locked);
    EXPECT_EQ(sys.sleeps, 0);
    EXPECT_STREQ(cb.lockedAlias, "T");
    cb.lockTries = -1; // waiting for our own handle would never end
    EXPECT_EQ(d4lock(b, 2), e4lock);
    error4set(&cb, 0);
    EXPECT_EQ(d4lockFile(b), e4lock);
    error4set(&cb, 0);
    EXPECT_EQ(d4lock(b, 3), 0);
}

TEST_F(LockTest, LocksSurviveClosingAnotherDescriptorOfTheFile) {
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4lock(d, 1), 0);
    const int fd = ::open("t.dbf", O_RDWR);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_FALSE(freeForOthers("t.dbf", lock4base + 1, 1));
}

TEST_F(LockTest, UnsharedFilesNeedNoLocks) {
    cb.shareMode = 1;
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    sys.resetCounts();
    EXPECT_EQ(d4lock(d, 4), 0);
    EXPECT_EQ(d4lockFile(d), 0);
    EXPECT_EQ(sys.locks, 0);
    EXPECT_TRUE(d4lockTest(d, 5));
    // Another engine user cannot open an exclusively opened file.
    CODE4 other;
    ASSERT_EQ(code4init(&other), 0);
    other.autoOpen = 0;
    EXPECT_EQ(d4open(&other, "t.dbf"), nullptr);
    EXPECT_EQ(error4code(&other), e4permiss);
    code4initUndo(&other);
    closeAll();

    // The read-only attribute: opened for reading, locks are no-ops, writes are refused.
    ASSERT_EQ(::chmod("t.dbf", 0444), 0);
    cb.shareMode = 0;
    d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    sys.resetCounts();
    EXPECT_EQ(d4lock(d, 2), 0);
    EXPECT_EQ(sys.locks, 0);
    ASSERT_EQ(d4go(d, 2), 0);
    ASSERT_EQ(f4assign(d4field(d, "NAME"), "X"), 0);
    EXPECT_EQ(d4flush(d), e4write);
}

TEST_F(LockTest, DenyWriteLetsOthersReadOnly) {
    cb.shareMode = 2;
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    CODE4 other;
    ASSERT_EQ(code4init(&other), 0);
    other.autoOpen = 0;
    EXPECT_EQ(d4open(&other, "t.dbf"), nullptr);
    EXPECT_EQ(error4code(&other), e4permiss);
    error4set(&other, 0);
    other.readOnlyOpen = 1;
    DATA4* reader = d4open(&other, "t.dbf");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(d4go(reader, 5), 0);
    d4close(reader);
    code4initUndo(&other);
}

TEST_F(LockTest, UpdateCycleRereadsTheRowUnderItsLock) {
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    cb.lockTries = 3;
    ASSERT_EQ(d4go(d, 2), 0);
    // Another program changes the row between our read and our lock.
    CODE4 other;
    ASSERT_EQ(code4init(&other), 0);
    other.autoOpen = 0;
    DATA4* o = d4open(&other, "t.dbf");
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(d4go(o, 2), 0);
    ASSERT_EQ(f4assign(d4field(o, "NAME"), "OTHER"), 0);
    ASSERT_EQ(d4flush(o), 0);
    ASSERT_EQ(d4unlock(o), 0);
    ASSERT_EQ(d4lock(d, 2), 0);
    ASSERT_EQ(d4refreshRecord(d), 0);
    EXPECT_EQ(trimRight(f4str(d4field(d, "NAME"))), "OTHER");
    ASSERT_EQ(f4assignLong(d4field(d, "N"), 42), 0);
    ASSERT_EQ(d4flush(d), 0);
    ASSERT_EQ(d4unlock(d), 0);
    ASSERT_EQ(d4go(o, 2), 0);
    EXPECT_EQ(trimRight(f4str(d4field(o, "NAME"))), "OTHER");
    EXPECT_EQ(f4long(d4field(o, "N")), 42);
    d4close(o);
    code4initUndo(&other);
}

TEST_F(LockTest, WritingAnUnlockedRecordLocksItFirst) {
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4go(d, 2), 0);
    ASSERT_EQ(d4lock(d, 3), 0);
    ASSERT_EQ(f4assign(d4field(d, "NAME"), "TWO"), 0);
    ASSERT_EQ(d4flush(d), 0);
    EXPECT_TRUE(d4lockTest(d, 2));
    EXPECT_FALSE(d4lockTest(d, 3)); // taking the lock released the others
    {
        Holder holder("t.dbf", lock4base + 4, 1);
        cb.lockTries = 0;
        ASSERT_EQ(d4go(d, 4), 0);
        ASSERT_EQ(f4assign(d4field(d, "NAME"), "FOUR"), 0);
        EXPECT_EQ(d4flush(d), r4locked); // held elsewhere: nothing written, the change kept
        EXPECT_TRUE(d4changed(d, -1));
    }
    EXPECT_EQ(d4flush(d), 0);
    ASSERT_EQ(d4close(d), 0);
    d = d4open(&cb, "t.dbf");
    ASSERT_EQ(d4go(d, 4), 0);
    EXPECT_EQ(trimRight(f4str(d4field(d, "NAME"))), "FOUR");
}

TEST_F(LockTest, MemoEntriesAreAllocatedUnderTheMemoFileLock) {
    const FIELD4INFO memoFields[] = {{"NAME", 'C', 10, 0}, {"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0}};
    DATA4* d = d4create(&cb, "m.dbf", memoFields);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4appendStart(d), 0);
    ASSERT_EQ(f4memoAssign(d4field(d, "NOTE"), "one"), 0);
    ASSERT_EQ(d4append(d), 0);
    const std::string before = readFile("m.dbt");
    const std::string grown(600, 'g'); // outgrows its block: needs a new entry
    cb.lockTries = 2;
    {
        // Another writer of the memo file is placing an entry.
        Holder holder("m.dbt", lock4base, 1);
        ASSERT_EQ(d4go(d, 1), 0);
        ASSERT_EQ(f4memoAssign(d4field(d, "NOTE"), grown.c_str()), 0);
        EXPECT_EQ(d4flush(d), r4locked); // nothing written, the change kept
        EXPECT_TRUE(d4changed(d, -1));
        EXPECT_EQ(readFile("m.dbt"), before);
    }
    EXPECT_EQ(d4flush(d), 0);
    EXPECT_TRUE(freeForOthers("m.dbt", lock4base, lock4fileLen));
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(std::string(f4memoStr(d4field(d, "NOTE"))), grown);
}
