// Memo entries: texts of any length read back whole, and a new entry is never placed over those the file holds.
#include "XbaseTestUtil.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

using namespace xbt;

namespace {

const FIELD4INFO memoFields[] = {{"NAME", 'C', 10, 0}, {"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0}};

// A text without the 0x1A that ends an entry, different for every length.
std::string textOf(size_t n) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; i++)
        s[i] = i % 80 == 79 ? '\n' : char('a' + (i * 7 + n) % 26);
    return s;
}

int appendWithMemo(DATA4* d, const char* name, const std::string& memo) {
    if (d4appendStart(d) != 0 || f4assign(d4field(d, "NAME"), name) != 0 ||
        f4memoAssignN(d4field(d, "NOTE"), memo.data(), unsigned(memo.size())) != 0)
        return -1;
    return d4append(d);
}

std::string memoOf(DATA4* d, long n) {
    if (d4go(d, n) != 0)
        return "<no record>";
    FIELD4* note = d4field(d, "NOTE");
    return std::string(f4memoPtr(note), f4memoLen(note));
}

long blockOf(DATA4* d, long n) {
    return d4go(d, n) == 0 ? c4textToLong(f4ptr(d4field(d, "NOTE")), 10) : -1;
}

void patchNextFree(const char* file, unsigned long next) {
    const int fd = ::open(file, O_RDWR);
    ASSERT_GE(fd, 0);
    unsigned char b[4];
    for (int i = 0; i < 4; i++)
        b[i] = (unsigned char)(next >> (8 * i));
    ASSERT_EQ(::pwrite(fd, b, 4, 0), 4);
    ::close(fd);
}

} // namespace

TEST_F(EngineTest, MemoTextsOfEveryLengthReadBackWhole) {
    // Around the 512-byte pieces the reader takes, and long enough to need many of them.
    const size_t sizes[] = {1, 509, 510, 511, 512, 513, 1023, 1024, 100000, 3u << 20, 7};
    DATA4* d = d4create(&cb, "m", memoFields);
    ASSERT_NE(d, nullptr);
    for (size_t n : sizes)
        ASSERT_EQ(appendWithMemo(d, std::to_string(n).c_str(), textOf(n)), 0);
    ASSERT_EQ(d4close(d), 0);
    d = d4open(&cb, "m");
    ASSERT_NE(d, nullptr);
    for (long pass = 0; pass < 2; pass++) // the second pass reads into buffers grown by the first
        for (size_t i = 0; i < std::size(sizes); i++) {
            SCOPED_TRACE(sizes[i]);
            const std::string got = memoOf(d, long(i) + 1);
            ASSERT_EQ(got.size(), sizes[i]);
            EXPECT_TRUE(got == textOf(sizes[i]));
        }
}

TEST_F(EngineTest, ANextFreeBlockInsideTheMemoFileIsRefused) {
    DATA4* d = d4create(&cb, "m", memoFields);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(appendWithMemo(d, "ONE", "first memo"), 0); // block 1
    ASSERT_EQ(appendWithMemo(d, "TWO", textOf(600)), 0);  // blocks 2 and 3
    ASSERT_EQ(d4close(d), 0);
    const std::string dbf = readFile("m.dbf"), dbt = readFile("m.dbt");
    ASSERT_EQ(dbt.size(), 4u * 512);

    struct Case {
        unsigned long next; // patched into the memo file's header
        bool update;        // a grown memo of record 1, else a new record
        int expected;
        long block; // where the new entry went
    } cases[] = {
        {1, false, e4memoCorrupt, 0},
        {3, false, e4memoCorrupt, 0},
        {1, true, e4memoCorrupt, 0},
        {4, false, 0, 4},
        {9, false, 0, 9},
        {4, true, 0, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.next) + (c.update ? " update" : " append"));
        writeFile("m.dbf", dbf);
        writeFile("m.dbt", dbt);
        patchNextFree("m.dbt", c.next);
        d = d4open(&cb, "m");
        ASSERT_NE(d, nullptr);
        const std::string intruder = textOf(700);
        int rc;
        if (c.update) {
            ASSERT_EQ(d4go(d, 1), 0);
            ASSERT_EQ(f4memoAssignN(d4field(d, "NOTE"), intruder.data(), unsigned(intruder.size())), 0);
            rc = d4flush(d);
        } else {
            rc = appendWithMemo(d, "NEW", intruder);
        }
        EXPECT_EQ(rc, c.expected);
        error4set(&cb, 0);
        d4changed(d, 0);
        closeAll();
        d = d4open(&cb, "m");
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(memoOf(d, 2), textOf(600));
        if (c.expected != 0) {
            EXPECT_EQ(memoOf(d, 1), "first memo");
            EXPECT_EQ(d4recCount(d), 2);
            EXPECT_EQ(readFile("m.dbt").substr(4), dbt.substr(4));
        } else {
            const long n = c.update ? 1 : 3;
            EXPECT_EQ(blockOf(d, n), c.block);
            EXPECT_EQ(memoOf(d, n), intruder);
            if (!c.update) {
                EXPECT_EQ(memoOf(d, 1), "first memo");
            }
        }
        closeAll();
    }
}

// A record appended as a copy of the one stood on (d4append without d4appendStart) takes that record's memo texts
// into entries of its own, whether or not they were read before, and the original keeps its entry.
TEST_F(EngineTest, ARecordAppendedAsACopyKeepsTheMemoTextsItWasCopiedFrom) {
    DATA4* d = d4create(&cb, "m", memoFields);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(appendWithMemo(d, "ONE", "first memo"), 0);
    ASSERT_EQ(appendWithMemo(d, "TWO", textOf(600)), 0);
    for (const bool readFirst : {false, true}) {
        SCOPED_TRACE(readFirst ? "memo read before the append" : "memo not read");
        const long from = readFirst ? 2 : 1;
        const std::string text = memoOf(d, from);
        ASSERT_EQ(d4go(d, from), 0);
        if (readFirst) {
            ASSERT_EQ(f4memoLen(d4field(d, "NOTE")), text.size());
        }
        ASSERT_EQ(f4assign(d4field(d, "NAME"), "COPY"), 0);
        ASSERT_EQ(d4append(d), 0);
        const long copy = d4recNo(d);
        EXPECT_NE(blockOf(d, copy), blockOf(d, from));
        EXPECT_EQ(memoOf(d, copy), text);
        EXPECT_EQ(memoOf(d, from), text);
    }
    ASSERT_EQ(d4close(d), 0);
    d = d4open(&cb, "m");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(memoOf(d, 3), "first memo");
    EXPECT_EQ(memoOf(d, 4), textOf(600));
}

// What m4memo.h promises of an entry rewritten: a text that fits the blocks its entry spans (up to the block holding
// its 0x1A) stays there, a longer one moves to the next free block, the empty text leaves the field blank; the record
// bytes hold the block number (f4str shows it), and a text assigned but not written is dropped by d4refreshRecord.
TEST_F(EngineTest, ARewrittenMemoTextStaysInItsBlocksWhileItFitsAndMovesWhenNot) {
    DATA4* d = d4create(&cb, "m", memoFields);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(appendWithMemo(d, "ONE", textOf(600)), 0); // blocks 1 and 2
    ASSERT_EQ(appendWithMemo(d, "TWO", "second"), 0);    // block 3
    FIELD4* note = d4field(d, "NOTE");
    // Each rewrite of record 1 starts from the entry the one before left.
    const struct Case {
        const char* what;
        size_t len;
        long block; // the entry's first block afterwards (0: none)
    } cases[] = {
        {"both blocks full but for the two 0x1A: in place", 1022, 1},
        {"shorter: in place, the entry now spans block 1 only", 20, 1},
        {"longer than that block: moved to the next free one", 600, 4},
        {"longer than blocks 4 and 5 by one byte: moved", 1023, 6},
        {"the empty text: no entry", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(d4go(d, 1), 0);
        ASSERT_EQ(f4memoAssignN(note, textOf(c.len).data(), unsigned(c.len)), 0);
        ASSERT_EQ(d4flush(d), 0);
        EXPECT_EQ(blockOf(d, 1), c.block);
        EXPECT_EQ(std::string(f4str(note)),
                  c.block ? std::string(9, ' ') + std::to_string(c.block) : std::string(10, ' '));
        EXPECT_EQ(memoOf(d, 1), textOf(c.len));
        EXPECT_EQ(memoOf(d, 2), "second");
    }
    ASSERT_EQ(d4go(d, 2), 0);
    ASSERT_EQ(f4memoAssign(note, "never written"), 0);
    EXPECT_EQ(std::string(f4memoPtr(note)), "never written");
    ASSERT_EQ(d4refreshRecord(d), 0);
    EXPECT_EQ(std::string(f4memoPtr(note)), "second");
    ASSERT_EQ(d4close(d), 0);
}
