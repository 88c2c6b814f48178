// File layer faults and names, pools and lists, the log file, and two threads on one context.
#include "FakeSys4.h"
#include "XbaseTestUtil.h"

#include <cstring>
#include <thread>
#include <vector>

using namespace xbt;

namespace {


struct Raised {
    int code;
    std::string s1, s2, s3;
};
std::vector<Raised> raised;

void recordHook(CODE4*, int code, int, const char* s1, const char* s2, const char* s3) {
    raised.push_back({code, s1 ? s1 : "", s2 ? s2 : "", s3 ? s3 : ""});
}

class FileTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        cb.sys = &sys;
        raised.clear();
        e4hookSet(recordHook);
        DATA4* d = d4create(&cb, "t.dbf", xbt::kNameNumberFields);
        ASSERT_NE(d, nullptr);
        for (int i = 0; i < 3; i++)
            ASSERT_EQ(d4append(d), 0);
        ASSERT_EQ(d4close(d), 0);
    }
    void TearDown() override {
        e4hookSet(nullptr);
        sys = FakeSys4{};
        EngineTest::TearDown();
    }
    FakeSys4 sys;
};

} // namespace

TEST_F(FileTest, SystemFailuresGetTheirCodes) {
    struct OpenCase {
        int err;
        int code;
    } opens[] = {{EACCES, e4permiss}, {EROFS, e4permiss}, {EMFILE, e4numFiles}, {ENOENT, e4fileFind}, {EIO, e4open}};
    for (const OpenCase& c : opens) {
        sys.failOpenErrno = c.err;
        EXPECT_EQ(d4open(&cb, "t.dbf"), nullptr);
        EXPECT_EQ(error4code(&cb), c.code) << c.err;
        error4set(&cb, 0);
    }
    sys.failOpenErrno = 0;

    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4go(d, 1), 0);
    f4assign(d4field(d, "NAME"), "X");
    sys.failSync = 1;
    EXPECT_EQ(d4flush(d), e4optFlush);
    error4set(&cb, 0);
    sys.failSync = 0;
    f4assign(d4field(d, "NAME"), "Y");
    sys.shortWriteBy = 3;
    EXPECT_EQ(d4flush(d), e4write);
    error4set(&cb, 0);
    sys.shortWriteBy = 0;
    d4changed(d, 0);

    // A record the header promises but the file cannot give: the read-error text carries position and length.
    const long len = file4len(&d->dataFile->file);
    sys.readLimit = len - 5;
    raised.clear();
    EXPECT_EQ(d4go(d, 3), e4read);
    ASSERT_FALSE(raised.empty());
    EXPECT_EQ(raised.back().s1, d4alias(d));
    error4set(&cb, 0);
    sys.readLimit = -1;
    char buf[16];
    raised.clear();
    EXPECT_EQ(file4readAll(&d->dataFile->file, 1000000, buf, 512 > sizeof buf ? sizeof buf : 512), e4read);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].s2.size(), 39u);
    char expected[40];
    std::snprintf(expected, sizeof expected, "%19d %19d", 1000000, 16);
    EXPECT_EQ(raised[0].s2, expected);
    EXPECT_EQ(raised[0].s3, "file4readAllLow");
    error4set(&cb, 0);

    // A lock call that fails for another reason than a held range is an error, not a refusal.
    sys.lockErrno = ENOLCK;
    EXPECT_EQ(d4lock(d, 2), e4lock);
}

TEST_F(FileTest, CreateRespectsCreateSafety) {
    EXPECT_EQ(d4create(&cb, "t.dbf", xbt::kNameNumberFields), nullptr);
    EXPECT_EQ(error4code(&cb), e4create);
    error4set(&cb, 0);
    cb.createErrors = 0;
    EXPECT_EQ(d4create(&cb, "t.dbf", xbt::kNameNumberFields), nullptr);
    EXPECT_EQ(error4code(&cb), r4noCreate);
    error4set(&cb, 0);
    cb.createSafety = 0;
    DATA4* d = d4create(&cb, "t.dbf", xbt::kNameNumberFields);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4recCount(d), 0);
    const FIELD4INFO bad[] = {{"TOO_LONG_NAME", 'C', 5, 0}, {nullptr, 0, 0, 0}};
    EXPECT_EQ(d4create(&cb, "u.dbf", bad), nullptr);
    EXPECT_EQ(error4code(&cb), e4fieldName);
    error4set(&cb, 0);
    const FIELD4INFO badType[] = {{"X", 'Q', 5, 0}, {nullptr, 0, 0, 0}};
    EXPECT_EQ(d4create(&cb, "u.dbf", badType), nullptr);
    EXPECT_EQ(error4code(&cb), e4fieldType);
}

TEST_F(FileTest, NamesAndCaseOnDisk) {
    char out[512];
    ASSERT_EQ(u4nameCurrent(out, sizeof out, "../DATA/./users.dbf"), 0);
    std::string parent = dir.substr(0, dir.rfind('/'));
    for (char& c : parent)
        c = char(std::toupper((unsigned char)c));
    EXPECT_EQ(std::string(out), parent + "/DATA/USERS.DBF");
    ASSERT_EQ(u4nameCurrent(out, sizeof out, "..\\DATA\\users.dbf"), 0); // written on Windows
    EXPECT_EQ(std::string(out), parent + "/DATA/USERS.DBF");
    EXPECT_EQ(u4nameCurrent(out, 8, "users.dbf"), e4parm);
    char name[64] = "users  ";
    u4nameExt(name, sizeof name, "dbf", 0);
    EXPECT_STREQ(name, "USERS.DBF");
    u4nameExt(name, sizeof name, "NTX", 1);
    EXPECT_STREQ(name, "USERS.NTX");
    std::strcpy(name, "dir.v2/users");
    u4nameExt(name, sizeof name, "DBF", 0);
    EXPECT_STREQ(name, "DIR.V2/USERS.DBF");
    u4namePiece(out, sizeof out, "/a/b/users.dbf", 0, 0);
    EXPECT_STREQ(out, "USERS");
    EXPECT_EQ(u4nameRetExt(out, sizeof out, "/a.b/users.dbf"), 3);
    EXPECT_STREQ(out, "dbf");
    char small[4];
    EXPECT_EQ(u4ncpy(small, "abcdef", sizeof small), 3);
    EXPECT_STREQ(small, "abc");

    // A table whose files were named in lower case by another program is still found.
    ::mkdir("Sub", 0755);
    ::rename("t.dbf", "Sub/$$$udb.dbf");
    DATA4* d = d4open(&cb, "SUB/$$$UDb");
    ASSERT_NE(d, nullptr) << error4code(&cb);
    EXPECT_STREQ(d4alias(d), "$$$UDB");
    EXPECT_EQ(d4recCount(d), 3);
}

TEST(Pools, SharedBySizeZeroedAndGrownByChunks) {
    CODE4 cb;
    ASSERT_EQ(code4init(&cb), 0);
    POOL4* a = pool4create(&cb, 5, 26, 10, 0);
    POOL4* b = pool4create(&cb, 5, 26, 10, 0);
    POOL4* mine = pool4create(&cb, 5, 26, 10, 1);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->shareCount, 2);
    EXPECT_NE(mine, a);
    EXPECT_EQ(mine->shareCount, -1);
    POOL4* tiny = pool4create(&cb, 1, 3, 1, 1);
    EXPECT_GE(tiny->unitSize, 8);
    EXPECT_EQ(pool4create(&cb, 0, 8, 1, 1), nullptr);
    EXPECT_EQ(error4code(&cb), e4parm);
    error4set(&cb, 0);
    std::vector<void*> units;
    for (int i = 0; i < 6; i++) {
        auto* u = static_cast<unsigned char*>(pool4take(mine));
        ASSERT_NE(u, nullptr);
        for (int k = 0; k < 26; k++)
            ASSERT_EQ(u[k], 0);
        std::memset(u, 0xAB, 26);
        units.push_back(u);
        EXPECT_EQ(mine->chunks.nLink, i < 5 ? 1 : 2);
    }
    pool4give(mine, units[2]);
    auto* again = static_cast<unsigned char*>(pool4take(mine));
    EXPECT_EQ(again, units[2]);
    EXPECT_EQ(again[0], 0);
    EXPECT_EQ(mine->inUse, 6);
    pool4drop(a);
    pool4drop(b);
    pool4drop(mine);
    pool4drop(tiny);
    code4initUndo(&cb);
}

TEST(Lists, CircularListOperations) {
    struct Item {
        LINK4 link;
        int v;
    } items[4] = {};
    LISTHEAD4 list{};
    EXPECT_EQ(l4next(&list, nullptr), nullptr);
    l4add(&list, &items[0]);
    EXPECT_EQ(l4next(&list, nullptr), &items[0]);
    EXPECT_EQ(l4next(&list, &items[0]), nullptr);
    l4add(&list, &items[2]);
    l4addBefore(&list, &items[2], &items[1]);
    l4addAfter(&list, &items[2], &items[3]);
    std::vector<Item*> order;
    for (void* p = l4first(&list); p; p = l4next(&list, p))
        order.push_back(static_cast<Item*>(p));
    EXPECT_EQ(order, (std::vector<Item*>{&items[0], &items[1], &items[2], &items[3]}));
    EXPECT_EQ(l4prev(&list, nullptr), &items[3]);
    EXPECT_EQ(l4prev(&list, &items[0]), nullptr);
    list.selected = &items[1];
    l4remove(&list, &items[1]);
    EXPECT_EQ(list.selected, &items[0]);
    EXPECT_FALSE(l4seek(&list, &items[1]));
    EXPECT_EQ(l4pop(&list), &items[3]);
    EXPECT_EQ(list.nLink, 2);
    l4remove(&list, nullptr);
    EXPECT_EQ(list.nLink, 2);
}

namespace {

// A log entry: u32 total length, data, 26-byte header.
std::string logEntry(int type, const std::string& data = std::string()) {
    std::string e(4, '\0');
    const unsigned total = unsigned(data.size() + 30);
    for (int i = 0; i < 4; i++)
        e[i] = char(total >> (8 * i));
    e += data;
    std::string h(26, '\0');
    h[16] = char(type);
    h[18] = char(data.size());
    return e + h;
}

} // namespace

TEST_F(FileTest, LogFileIsJoinedCheckedAndWritten) {
    // No log: nothing is written anywhere.
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(cb.log.isOpen);
    closeAll();

    writeFile(path("C4.LOG"), logEntry(15) + logEntry(16));
    ASSERT_EQ(code4logOpen(&cb, nullptr, "ABCDEFGHIJKLMN"), 0);
    EXPECT_STREQ(cb.log.userId, "ABCDEFGHIJ");
    EXPECT_EQ(cb.log.slot, 0);
    EXPECT_EQ(code4logOpen(&cb, nullptr, nullptr), r4logOpen);
    d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4close(d), 0);
    const std::string log = readFile(path("C4.LOG"));
    // The join (15) with its user id, the open (1) with the file name, the close (3).
    size_t pos = 60;
    std::vector<int> types;
    while (pos + 30 <= log.size()) {
        const unsigned total = (unsigned char)log[pos] | (unsigned char)log[pos + 1] << 8;
        ASSERT_GE(total, 30u);
        types.push_back((unsigned char)log[pos + total - 26 + 16]);
        pos += total;
    }
    EXPECT_EQ(pos, log.size());
    EXPECT_EQ(types, (std::vector<int>{15, 1, 3}));
    EXPECT_NE(log.find("ABCDEFGHIJ"), std::string::npos);
    EXPECT_EQ(log.find("ABCDEFGHIJK"), std::string::npos);
    EXPECT_NE(log.find("/T.DBF"), std::string::npos);
    // The last user to leave finishes the log, so that the next first user accepts it.
    EXPECT_EQ(code4logClose(&cb), 0);
    EXPECT_EQ((unsigned char)readFile(path("C4.LOG"))[readFile(path("C4.LOG")).size() - 10], 16);
    ASSERT_NE(d4open(&cb, "t.dbf"), nullptr);
    EXPECT_TRUE(cb.log.isOpen);
    closeAll();
    code4logClose(&cb);

    struct Bad {
        const char* what;
        std::string bytes;
        int code;
    } bad[] = {
        {"not finished", logEntry(15) + logEntry(1, "abc"), e4transError},
        {"first entry of type 17", logEntry(17) + logEntry(16), e4transError},
        {"first entry with data", logEntry(15, "xy") + logEntry(16), e4read},
        {"shorter than an entry", std::string(12, '\0'), e4transError},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.what);
        writeFile(path("C4.LOG"), b.bytes);
        EXPECT_EQ(d4open(&cb, "t.dbf"), nullptr);
        EXPECT_EQ(error4code(&cb), b.code);
        EXPECT_FALSE(cb.log.isOpen);
        error4set(&cb, 0);
    }
}

TEST_F(FileTest, TwoThreadsShareOneContext) {
    cb.sys = nullptr;
    DATA4* d = d4open(&cb, "t.dbf");
    ASSERT_NE(d, nullptr);
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    // One thread reads and updates rows; the other opens and closes a second table, as the server's two threads do.
    std::thread worker([&] {
        for (int i = 0; i < 300; i++) {
            auto guard = code4lock(&cb);
            if (d4go(d, 1 + i % 3) != 0 || d4lock(d, 1 + i % 3) != 0)
                bad++;
            f4assignLong(d4field(d, "N"), i);
            if (d4flush(d) != 0 || d4unlock(d) != 0)
                bad++;
            if (f4long(d4field(d, "N")) != i)
                bad++;
        }
        stop = true;
    });
    while (!stop) {
        auto guard = code4lock(&cb);
        ::unlink("u.dbf");
        DATA4* u = d4create(&cb, "u.dbf", xbt::kNameNumberFields);
        if (!u || d4append(u) != 0 || d4close(u) != 0)
            bad++;
    }
    worker.join();
    EXPECT_EQ(bad, 0);
}
