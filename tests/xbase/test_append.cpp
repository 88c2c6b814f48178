// Appends: written with their count before the call returns in every mode, cut back when a write fails, and refused
// where the header's count disagrees with the file.
#include "FakeSys4.h"
#include "XbaseTestUtil.h"

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace xbt;

namespace {

constexpr long headerLen = 32 + 2 * 32 + 1;
constexpr long width = 16;

long fileSize(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? long(st.st_size) : -1;
}

// What another program finds in the file: the header's count and the NAME of each record present.
struct OnDisk {
    long count = -1;
    std::vector<std::string> names;
};
OnDisk onDisk(const std::string& p) {
    const std::string b = readFile(p);
    OnDisk r;
    if (b.size() < 8)
        return r;
    r.count = long((unsigned char)b[4]) | long((unsigned char)b[5]) << 8 | long((unsigned char)b[6]) << 16;
    for (size_t pos = headerLen; pos + width <= b.size(); pos += width)
        r.names.push_back(trimRight(b.substr(pos + 1, 10)));
    return r;
}

void patchCount(const char* file, long count) {
    const int fd = ::open(file, O_RDWR);
    ASSERT_GE(fd, 0);
    unsigned char b[4];
    for (int i = 0; i < 4; i++)
        b[i] = (unsigned char)(count >> (8 * i));
    ASSERT_EQ(::pwrite(fd, b, 4, 4), 4);
    ::close(fd);
}

// Back to the two records the fixture wrote.
void keepFirstTwo(const char* file) {
    patchCount(file, 2);
    ASSERT_EQ(::truncate(file, headerLen + 2 * width + 1), 0);
    const int fd = ::open(file, O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "\x1a", 1, headerLen + 2 * width), 1);
    ::close(fd);
}

class AppendTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        cb.sys = &sys;
        DATA4* d = d4create(&cb, "t.dbf", xbt::kNameNumberFields);
        ASSERT_NE(d, nullptr);
        append(d, "R1");
        append(d, "R2");
        ASSERT_EQ(d4close(d), 0);
    }
    void append(DATA4* d, const char* name, int expected = 0) {
        ASSERT_EQ(d4appendStart(d), 0);
        ASSERT_EQ(f4assign(d4field(d, "NAME"), name), 0);
        EXPECT_EQ(d4append(d), expected) << name;
    }
    // An append whose writes come up a byte short (the first `shortWrites` of them, -1: all): the call reports it.
    void appendFailingWrite(DATA4* d, const char* name, int shortWrites = -1) {
        ASSERT_EQ(d4appendStart(d), 0);
        ASSERT_EQ(f4assign(d4field(d, "NAME"), name), 0);
        sys.shortWriteBy = 1;
        sys.shortWrites = shortWrites;
        EXPECT_EQ(d4append(d), e4write) << name;
        sys.shortWriteBy = 0;
        sys.shortWrites = -1;
        error4set(&cb, 0);
    }
    // The body on the fixture's table opened exclusively, then shared.
    void inEachShareMode(const std::function<void(DATA4*)>& body) {
        for (unsigned char shareMode : {1, 0}) {
            SCOPED_TRACE(int(shareMode));
            cb.shareMode = shareMode;
            DATA4* d = d4open(&cb, "t.dbf");
            ASSERT_NE(d, nullptr);
            body(d);
            if (HasFatalFailure())
                return;
        }
    }
    FakeSys4 sys;
};

} // namespace

TEST_F(AppendTest, AConfirmedAppendIsInTheFileWhenTheCallReturns) {
    // Every way a handle appends: the count its own (exclusive, deny write, a lock held) or not (locking itself).
    struct Mode {
        const char* name;
        unsigned char shareMode;
        std::function<int(DATA4*)> lock;
    } modes[] = {
        {"exclusive", 1, [](DATA4*) { return 0; }},
        {"deny write", 2, [](DATA4*) { return 0; }},
        {"shared, append lock", 0, d4lockAppend},
        {"shared, file lock", 0, d4lockFile},
        {"shared, each append locking itself", 0, [](DATA4*) { return 0; }},
    };
    for (const Mode& m : modes) {
        SCOPED_TRACE(m.name);
        cb.shareMode = m.shareMode;
        DATA4* d = d4open(&cb, "t.dbf");
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(m.lock(d), 0);
        std::vector<std::string> names{"R1", "R2"};
        for (const char* name : {"A3", "A4", "A5"}) {
            append(d, name);
            names.push_back(name);
            // What another program reads right now: the record and the count that counts it.
            const OnDisk seen = onDisk("t.dbf");
            EXPECT_EQ(seen.count, long(names.size()));
            EXPECT_EQ(seen.names, names);
            EXPECT_EQ(fileSize("t.dbf"), headerLen + long(names.size()) * width + 1);
            EXPECT_EQ(readFile("t.dbf").back(), '\x1a');
            EXPECT_EQ(d4recNo(d), long(names.size()));
        }
        closeAll();
        EXPECT_EQ(onDisk("t.dbf").names, names);
        keepFirstTwo("t.dbf");
    }
}

TEST_F(AppendTest, ARejectedAppendChangesNoRecord) {
    // A record stood on and changed, then an append that fails: neither the append nor a later write or close may put
    // the rejected values over the record.
    inEachShareMode([&](DATA4* d) {
        ASSERT_EQ(d4go(d, 2), 0);
        appendFailingWrite(d, "REJECTED");
        EXPECT_EQ(d4flush(d), 0);
        EXPECT_EQ(d4close(d), 0);
        EXPECT_EQ(onDisk("t.dbf").names, (std::vector<std::string>{"R1", "R2"}));
        EXPECT_EQ(onDisk("t.dbf").count, 2);
    });
}

TEST_F(AppendTest, AnAppendThatLocksForItselfIsWrittenAtOnceAndLetsTheLockGo) {
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    append(d, "A3");
    EXPECT_EQ(onDisk("t.dbf").count, 3);
    EXPECT_FALSE(d4lockTestAppend(d));
    // Another program appends next, and sees ours.
    CODE4 other;
    ASSERT_EQ(code4init(&other), 0);
    other.autoOpen = 0;
    DATA4* o = d4open(&other, "t.dbf");
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(d4recCount(o), 3);
    ASSERT_EQ(d4appendStart(o), 0);
    ASSERT_EQ(d4append(o), 0);
    d4close(o);
    code4initUndo(&other);
    append(d, "A5");
    EXPECT_EQ(onDisk("t.dbf").names, (std::vector<std::string>{"R1", "R2", "A3", "", "A5"}));
}

TEST_F(AppendTest, AnAppendUnderTheLockCostsTwoWritesAndNothingMore) {
    // The record (with the 0x1A after it) and the header's count: one write each, no read, no lock, no length.
    inEachShareMode([&](DATA4* d) {
        ASSERT_EQ(d4lockAppend(d), 0);
        append(d, "FIRST"); // reads the count and checks it against the file's length once
        sys.resetCounts();
        for (int i = 0; i < 1000; i++)
            append(d, "MANY");
        EXPECT_EQ(sys.writes, 2000);
        EXPECT_EQ(sys.reads + sys.locks + sys.syncs, 0);
        ASSERT_EQ(d4unlock(d), 0);
        EXPECT_EQ(d4recCount(d), onDisk("t.dbf").count);
        closeAll();
    });
    EXPECT_EQ(onDisk("t.dbf").count, 2004);
}

TEST_F(AppendTest, AFailedWriteIsReportedByTheAppendAndCutBack) {
    inEachShareMode([&](DATA4* d) {
        ASSERT_EQ(d4lockAppend(d), 0);
        // Short are the record's write and its retry: the disk has room again for what cuts it back.
        appendFailingWrite(d, "A3", 2);
        // No part of the record stays, the file ends as before and the count counts its records.
        EXPECT_EQ(onDisk("t.dbf").count, 2);
        EXPECT_EQ(fileSize("t.dbf"), headerLen + 2 * width + 1);
        EXPECT_EQ(readFile("t.dbf").back(), '\x1a');
        EXPECT_EQ(d4recCount(d), 2);
        // The buffer still holds the values: the same call again succeeds.
        ASSERT_EQ(d4append(d), 0);
        ASSERT_EQ(d4close(d), 0);
        EXPECT_EQ(onDisk("t.dbf").names, (std::vector<std::string>{"R1", "R2", "A3"}));
        keepFirstTwo("t.dbf");
    });
}

TEST_F(AppendTest, AHeaderCountBeyondTheFileIsRefused) {
    // The count patched after the open, as a damaged or foreign header would have it.
    const long size = fileSize("t.dbf");
    struct Case {
        unsigned char shareMode;
        long count;
        int expected;
    } cases[] = {{1, 1000000, e4append}, {0, 1000000, e4append}, {0, 4, e4append}, {1, 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.shareMode) + " " + std::to_string(c.count));
        cb.shareMode = c.shareMode;
        DATA4* d = d4open(&cb, "t.dbf");
        ASSERT_NE(d, nullptr);
        patchCount("t.dbf", c.count);
        append(d, "PAST", c.expected);
        error4set(&cb, 0);
        closeAll();
        if (c.expected != 0) {
            EXPECT_EQ(fileSize("t.dbf"), size);
        }
        patchCount("t.dbf", 2);
    }
}
