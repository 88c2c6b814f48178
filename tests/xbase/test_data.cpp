// Data files: create, append, open checks, positioning, field values, and files shared with other readers.
#include "XbaseTestUtil.h"

#include <cstring>
#include <vector>

using namespace xbt;

namespace {

const FIELD4INFO userFields[] = {
    {"USERNAME", 'C', 30, 0}, {"NCONNECTS", 'N', 6, 0}, {"AMOUNT", 'N', 8, 2},
    {"BORN", 'D', 8, 0},      {"ENABLED", 'L', 1, 0},   {nullptr, 0, 0, 0},
};

struct Desc {
    std::string name;
    char type;
    unsigned char len;
    unsigned char dec;
};

// A data file built byte by byte, so that tests can damage any part of it.
std::string makeDbf(const std::vector<Desc>& fields, int records, long count, unsigned char version = 0x03,
                    int recWidthOverride = -1, int headerLenOverride = -1, bool terminator = true) {
    unsigned width = 1;
    for (const auto& f : fields)
        width += f.len + (f.type == 'C' ? 256u * f.dec : 0u);
    const unsigned headerLen = 32 + 32 * unsigned(fields.size()) + (terminator ? 1 : 0);
    std::string h(32, '\0');
    h[0] = char(version);
    h[1] = 126, h[2] = 1, h[3] = 2;
    for (int i = 0; i < 4; i++)
        h[4 + i] = char((unsigned long)count >> (8 * i));
    const unsigned hl = headerLenOverride >= 0 ? unsigned(headerLenOverride) : headerLen;
    const unsigned rw = recWidthOverride >= 0 ? unsigned(recWidthOverride) : width;
    h[8] = char(hl & 0xFF), h[9] = char(hl >> 8);
    h[10] = char(rw & 0xFF), h[11] = char(rw >> 8);
    for (const auto& f : fields) {
        std::string d(32, '\0');
        std::memcpy(d.data(), f.name.c_str(), std::min<size_t>(f.name.size(), 11));
        d[11] = f.type;
        d[16] = char(f.len);
        d[17] = char(f.dec);
        h += d;
    }
    if (terminator)
        h += '\r';
    for (int r = 0; r < records; r++) {
        std::string rec(width, ' ');
        for (unsigned i = 1; i < width; i++)
            rec[i] = char('A' + (r + i) % 26);
        h += rec;
    }
    h += '\x1a';
    return h;
}

} // namespace

TEST_F(EngineTest, CreatedTableKeepsAppendedRecordsAndFieldValues) {
    DATA4* d = d4create(&cb, "users", userFields);
    ASSERT_NE(d, nullptr) << error4code(&cb);
    struct Row {
        const char* name;
        long connects;
        double amount;
        const char* born;
        const char* enabled;
    } rows[] = {{"ADMIN", 12, 3.5, "19700101", "T"}, {"jim", -4, -12.25, "20000229", "F"}, {"", 0, 0, "        ", " "}};
    for (const Row& r : rows) {
        ASSERT_EQ(d4appendStart(d), 0);
        ASSERT_EQ(f4assign(d4field(d, "username"), r.name), 0);
        ASSERT_EQ(f4assignLong(d4field(d, "NCONNECTS"), r.connects), 0);
        ASSERT_EQ(f4assignDouble(d4field(d, "AMOUNT"), r.amount), 0);
        ASSERT_EQ(f4assign(d4field(d, "BORN"), r.born), 0);
        ASSERT_EQ(f4assign(d4field(d, "ENABLED"), r.enabled), 0);
        ASSERT_EQ(d4append(d), 0);
    }
    EXPECT_EQ(d4recCount(d), 3);
    ASSERT_EQ(d4go(d, 2), 0);
    d4delete(d);
    ASSERT_EQ(d4close(d), 0);

    d = d4open(&cb, "USERS"); // found without regard to case and with the default extension
    ASSERT_NE(d, nullptr) << error4code(&cb);
    EXPECT_STREQ(d4alias(d), "USERS");
    EXPECT_EQ(d4numFields(d), 5);
    ASSERT_EQ(d4recCount(d), 3);
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(std::string(f4str(d4field(d, "USERNAME"))), "ADMIN" + std::string(25, ' '));
    EXPECT_EQ(f4long(d4field(d, "NCONNECTS")), 12);
    EXPECT_EQ(std::string(f4str(d4field(d, "AMOUNT"))), "    3.50");
    EXPECT_EQ(f4int(d4field(d, "BORN")), date4toJulian("19700101"));
    EXPECT_FALSE(d4deleted(d));
    ASSERT_EQ(d4go(d, 2), 0);
    EXPECT_TRUE(d4deleted(d));
    EXPECT_EQ(std::string(f4str(d4field(d, "NCONNECTS"))), "    -4");
    EXPECT_DOUBLE_EQ(f4double(d4field(d, "AMOUNT")), -12.25);
    EXPECT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(d4recNo(d), 3);
    EXPECT_EQ(d4skip(d, 1), r4eof);
    EXPECT_TRUE(d4eof(d));
    EXPECT_EQ(d4recNo(d), 4);
}

TEST_F(EngineTest, FieldValuesFollowTheirWidths) {
    DATA4* d = d4create(&cb, "t", userFields);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4appendStart(d), 0);
    FIELD4* name = d4field(d, "USERNAME");
    FIELD4* conn = d4field(d, "NCONNECTS");
    FIELD4* born = d4field(d, "BORN");
    ASSERT_EQ(f4assign(name, "0123456789012345678901234567890123456789"), 0);
    EXPECT_EQ(std::string(f4str(name)), "012345678901234567890123456789");
    ASSERT_EQ(f4assign(name, "AB"), 0);
    EXPECT_EQ(std::string(f4str(name)), "AB" + std::string(28, ' '));
    ASSERT_EQ(f4assignLong(conn, 1234567), 0);
    EXPECT_EQ(std::string(f4str(conn)), "******");
    std::memcpy(f4assignPtr(conn), "  12.75", 6);
    EXPECT_EQ(f4long(conn), 12);
    // The shared field buffer: the second f4str overwrites the first result.
    char* first = f4str(name);
    f4str(conn);
    EXPECT_EQ(std::string(first, 6), std::string(f4str(conn)));
    EXPECT_EQ(f4long(born), -1);
    EXPECT_EQ(error4code(&cb), e4parm);
    error4set(&cb, 0);
    EXPECT_EQ(f4assignLong(born, 5), e4parm);
    error4set(&cb, 0);
    EXPECT_EQ(d4field(d, "NOSUCH"), nullptr);
    EXPECT_EQ(error4code(&cb), e4fieldName);
    error4set(&cb, 0);
    cb.fieldNameErrors = 0;
    EXPECT_EQ(d4field(d, "NOSUCH"), nullptr);
    EXPECT_EQ(error4code(&cb), 0);
    EXPECT_EQ(d4fieldNumber(d, "born  "), 4);
}

TEST_F(EngineTest, GoOutsideTheFileAndTheErrorLatch) {
    DATA4* d = d4create(&cb, "t", userFields);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4append(d), 0);
    EXPECT_EQ(d4go(d, 2), e4read);
    EXPECT_EQ(d4recNo(d), -1);
    // Every call refuses work until the latch is cleared.
    EXPECT_EQ(d4go(d, 1), e4context);
    EXPECT_EQ(d4recNo(d), -1);
    EXPECT_EQ(d4open(&cb, "t"), nullptr);
    error4set(&cb, 0);
    cb.goErrors = 0;
    EXPECT_EQ(d4go(d, 2), r4entry);
    EXPECT_EQ(error4code(&cb), 0);
    EXPECT_EQ(d4go(d, 1), 0);
}

TEST_F(EngineTest, CloseWithUniqueErrorLatchedDropsTheChangeAndStillCloses) {
    DATA4* d = d4create(&cb, "t", userFields);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(f4assign(d4field(d, "USERNAME"), "KEEP"), 0);
    ASSERT_EQ(d4append(d), 0);
    ASSERT_EQ(f4assign(d4field(d, "USERNAME"), "CHANGED"), 0);
    error4raise(&cb, e4unique, 1);
    EXPECT_EQ(d4close(d), e4unique);
    EXPECT_EQ(error4code(&cb), e4unique);
    EXPECT_EQ(cb.dataList.nLink, 0);
    error4set(&cb, 0);
    d = d4open(&cb, "t");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(trimRight(f4str(d4field(d, "USERNAME"))), "KEEP");
}

TEST_F(EngineTest, DuplicateOpenIsRefusedOrShared) {
    DATA4* d = d4create(&cb, "t", userFields);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4open(&cb, "./T.DBF"), nullptr);
    EXPECT_EQ(error4code(&cb), e4instance);
    error4set(&cb, 0);
    cb.duplicateOpenCheck = 0;
    DATA4* d2 = d4open(&cb, "t.dbf");
    ASSERT_NE(d2, nullptr);
    EXPECT_EQ(d2->dataFile, d->dataFile);
    cb.shareMode = 1;
    EXPECT_EQ(d4open(&cb, "t.dbf"), nullptr);
    EXPECT_EQ(error4code(&cb), e4access);
}

// One table of damaged and hostile files: each gives its code, and nothing stays open.
TEST_F(EngineTest, OpenChecksRefuseDamagedFiles) {
    const std::vector<Desc> two = {{"NAME", 'C', 10, 0}, {"N", 'N', 5, 0}};
    struct Case {
        const char* what;
        std::string bytes;
        int shareMode;
        int expected;
    } cases[] = {
        {"count 0 of 10 records", makeDbf(two, 10, 0), 0, 0},
        {"count 10", makeDbf(two, 10, 10), 0, 0},
        {"count one more than present", makeDbf(two, 10, 11), 0, 0},
        {"count two more", makeDbf(two, 10, 12), 0, e4data},
        {"negative count", makeDbf(two, 10, -1), 0, e4data},
        {"exclusive refuses a count past the records", makeDbf(two, 10, 11), 1, e4data},
        {"exclusive exact", makeDbf(two, 10, 10), 1, 0},
        // Whole records past the count are what a stop between a record and its count leaves: the count holds.
        {"exclusive with whole records past the count", makeDbf(two, 10, 9), 1, 0},
        {"deny-write with whole records past the count", makeDbf(two, 10, 9), 2, 0},
        {"deny-write refuses a count past the records", makeDbf(two, 10, 11), 2, e4data},
        {"record length 0", makeDbf(two, 1, 1, 0x03, 0), 0, e4data},
        {"header length 32", makeDbf(two, 1, 1, 0x03, -1, 32), 0, e4data},
        {"header longer than the file", makeDbf(two, 0, 0, 0x03, -1, 5000), 0, e4data},
        {"unknown field type", makeDbf({{"X", 'I', 4, 0}}, 1, 1), 0, e4data},
        {"fields wider than the record", makeDbf(two, 1, 0, 0x03, 8), 0, e4data},
        {"widths past 65535", makeDbf({{"A", 'C', 255, 255}, {"B", 'C', 255, 1}}, 0, 0, 0x03, 65535), 0, e4recordLen},
        {"zero-length file", std::string(), 0, e4data},
        {"truncated header", makeDbf(two, 1, 1).substr(0, 20), 0, e4data},
        {"descriptors cut short", makeDbf(two, 0, 0).substr(0, 50), 0, e4data},
        {"no descriptor terminator", makeDbf(two, 2, 2, 0x03, -1, -1, false), 0, 0},
        {"memo flag without memo file", makeDbf({{"M", 'M', 10, 0}}, 1, 1, 0x83), 0, e4fileFind},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(path("case.dbf"), c.bytes);
        cb.shareMode = (unsigned char)c.shareMode;
        DATA4* d = d4open(&cb, "case.dbf");
        EXPECT_EQ(error4code(&cb), c.expected);
        EXPECT_EQ(d != nullptr, c.expected == 0);
        if (d) {
            // Records the count promises but the file lacks read as "Reading File".
            for (long n = 1; n <= d4recCount(d); n++) {
                const int rc = d4go(d, n);
                EXPECT_TRUE(rc == 0 || (rc == e4read && n == 11)) << n;
                error4set(&cb, 0);
            }
            EXPECT_EQ(d4close(d), 0);
        }
        EXPECT_EQ(cb.dataList.nLink, 0);
        EXPECT_EQ(cb.dataFileList.nLink, 0);
        error4set(&cb, 0);
    }
}

TEST_F(EngineTest, WideCharacterFieldsTakeTheirHighWidthByte) {
    writeFile(path("wide.dbf"), makeDbf({{"TEXT", 'C', 44, 1}, {"N", 'N', 3, 0}}, 2, 2));
    DATA4* d = d4open(&cb, "wide.dbf");
    ASSERT_NE(d, nullptr) << error4code(&cb);
    EXPECT_EQ(f4len(d4field(d, "TEXT")), 300u);
    EXPECT_EQ(d4field(d, "N")->offset, 301);
    ASSERT_EQ(d4go(d, 2), 0);
    EXPECT_EQ(f4str(d4field(d, "N"))[0], char('A' + (1 + 301) % 26));
}

TEST_F(EngineTest, MissingFileAndBadShareMode) {
    EXPECT_EQ(d4open(&cb, "absent"), nullptr);
    EXPECT_EQ(error4code(&cb), e4fileFind);
    error4set(&cb, 0);
    cb.openErrors = 0;
    EXPECT_EQ(d4open(&cb, "absent"), nullptr);
    EXPECT_EQ(error4code(&cb), r4noOpen);
    error4set(&cb, 0);
    cb.openErrors = 1;
    ASSERT_NE(d4create(&cb, "t", userFields), nullptr);
    closeAll();
    cb.shareMode = 3;
    EXPECT_EQ(d4open(&cb, "t"), nullptr);
    EXPECT_EQ(error4code(&cb), e4open);
}
