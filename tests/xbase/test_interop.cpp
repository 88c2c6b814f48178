// Files written by the engine open in three independent readers, and files they write open in the engine.
#include "XbaseTestUtil.h"

#include <cstring>

using namespace xbt;

namespace {

const FIELD4INFO peopleFields[] = {
    {"NAME", 'C', 20, 0}, {"N", 'N', 6, 0},     {"AMT", 'N', 8, 2}, {"BORN", 'D', 8, 0},
    {"OK", 'L', 1, 0},    {"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0},
};

std::string longText() {
    std::string s;
    for (int i = 0; i < 600; i++)
        s += char('a' + i % 26);
    return s;
}

void writeEngineTable(CODE4* cb) {
    DATA4* d = d4create(cb, "people", peopleFields);
    ASSERT_NE(d, nullptr) << error4code(cb);
    struct Row {
        const char* name;
        long n;
        double amt;
        const char* born;
        const char* ok;
        std::string note;
    } rows[] = {{"ADMIN", 12, 3.5, "19700101", "T", "first memo"},
                {"Jim", -4, -12.25, "20000229", "F", longText()},
                {"", 0, 0, "        ", " ", ""}};
    for (const Row& r : rows) {
        ASSERT_EQ(d4appendStart(d), 0);
        f4assign(d4field(d, "NAME"), r.name);
        f4assignLong(d4field(d, "N"), r.n);
        f4assignDouble(d4field(d, "AMT"), r.amt);
        f4assign(d4field(d, "BORN"), r.born);
        f4assign(d4field(d, "OK"), r.ok);
        f4memoAssign(d4field(d, "NOTE"), r.note.c_str());
        ASSERT_EQ(d4append(d), 0);
    }
    ASSERT_EQ(d4go(d, 2), 0);
    d4delete(d);
    ASSERT_EQ(d4close(d), 0);
}

} // namespace

TEST_F(EngineTest, EngineTablesReadEquallyInDbfreadDbfAndPerl) {
    writeEngineTable(&cb);
    const std::string expected = "ADMIN|12|3.50|1970-01-01|T|first memo\n"
                                 "*Jim|-4|-12.25|2000-02-29|F|" +
                                 longText() + "\n|0|0.00|None|None|\n";

    int status = -1;
    std::string out = python(R"(
from dbfread import DBF
t = DBF('people.dbf', char_decode_errors='strict')
def show(r, deleted):
    v = [r['NAME'], r['N'], '%.2f' % r['AMT'] if r['AMT'] is not None else '0.00', r['BORN'],
         {True: 'T', False: 'F', None: 'None'}[r['OK']], r['NOTE'] or '']
    return ('*' if deleted else '') + '|'.join(str(x) for x in v)
rows = {}
for r in t: rows[r['NAME']] = show(r, False)
for r in t.deleted: rows[r['NAME']] = show(r, True)
print(rows['ADMIN']); print(rows['Jim']); print(rows[''])
)",
                             &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, expected) << "dbfread";

    out = python(R"(
import dbf
t = dbf.Table('people.dbf'); t.open(dbf.READ_ONLY)
for r in t:
    ok = {True: 'T', False: 'F', None: 'None'}[r.ok]
    born = r.born.strftime('%Y-%m-%d') if r.born else 'None'
    fields = [r.name.rstrip(), str(int(r.n or 0)), '%.2f' % (r.amt or 0), born, ok, r.note.rstrip()]
    print(('*' if dbf.is_deleted(r) else '') + '|'.join(fields))
t.close()
)",
                 &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, expected) << "python dbf";

    writeFile("read.pl", R"(
use XBase;
my $t = XBase->new('people.dbf') or die XBase->errstr;
for my $i (0 .. $t->last_record) {
    my ($del, $name, $n, $amt, $born, $ok, $note) = $t->get_record($i);
    $born = defined $born && $born =~ /^(\d{4})(\d\d)(\d\d)$/ ? "$1-$2-$3" : 'None';
    $ok = defined $ok ? ($ok ? 'T' : 'F') : 'None';
    printf "%s%s|%d|%.2f|%s|%s|%s\n", ($del ? '*' : ''), $name, $n, $amt, $born, $ok, (defined $note ? $note : '');
}
)");
    out = run("perl read.pl 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, expected) << "perl XBase";
}

TEST_F(EngineTest, TablesWrittenByPythonDbfOpenInTheEngine) {
    int status = -1;
    const std::string out = python(R"(
import dbf, datetime
t = dbf.Table('made.dbf', 'NAME C(30); N N(8,2); BORN D; OK L; NOTE M', dbf_type='db3')
t.open(dbf.READ_WRITE)
t.append(('Alice', 1.25, dbf.Date(1999, 12, 31), True, 'memo of alice'))
t.append(('Bob', -7.5, None, False, 'x' * 1500))
t.append(('Carol', 0, dbf.Date(2024, 2, 29), None, ''))
dbf.delete(t[1])
t.close()
)",
                                   &status);
    ASSERT_EQ(status, 0) << out;
    DATA4* d = d4open(&cb, "MADE.DBF");
    ASSERT_NE(d, nullptr) << error4code(&cb);
    ASSERT_EQ(d4recCount(d), 3);
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(trimRight(f4str(d4field(d, "NAME"))), "Alice");
    EXPECT_DOUBLE_EQ(f4double(d4field(d, "N")), 1.25);
    EXPECT_EQ(std::string(f4str(d4field(d, "BORN"))), "19991231");
    EXPECT_EQ(std::string(f4str(d4field(d, "OK"))), "T");
    EXPECT_EQ(std::string(f4memoStr(d4field(d, "NOTE"))), "memo of alice");
    EXPECT_FALSE(d4deleted(d));
    ASSERT_EQ(d4go(d, 2), 0);
    EXPECT_TRUE(d4deleted(d));
    EXPECT_DOUBLE_EQ(f4double(d4field(d, "N")), -7.5);
    EXPECT_EQ(f4int(d4field(d, "BORN")), 0);
    EXPECT_EQ(std::string(f4memoStr(d4field(d, "NOTE"))), std::string(1500, 'x'));
    ASSERT_EQ(d4go(d, 3), 0);
    EXPECT_EQ(f4memoLen(d4field(d, "NOTE")), 0u);

    // Changed by the engine, read back by dbfread.
    ASSERT_EQ(d4go(d, 1), 0);
    ASSERT_EQ(d4lock(d, 1), 0);
    ASSERT_EQ(f4assign(d4field(d, "NAME"), "Alicia"), 0);
    ASSERT_EQ(f4memoAssign(d4field(d, "NOTE"), "a new and longer memo text"), 0);
    ASSERT_EQ(d4flush(d), 0);
    ASSERT_EQ(d4unlock(d), 0);
    ASSERT_EQ(d4close(d), 0);
    const std::string back = python(R"(
from dbfread import DBF
r = list(DBF('made.dbf'))[0]
print(r['NAME'], '|', r['NOTE'], '|', r['N'])
)");
    EXPECT_EQ(back, "Alicia | a new and longer memo text | 1.25\n");
}

TEST_F(EngineTest, MemoEntriesTakeBlocksAndMoveOnlyWhenTheyOutgrowThem) {
    writeEngineTable(&cb);
    DATA4* d = d4open(&cb, "people");
    ASSERT_NE(d, nullptr);
    FIELD4* note = d4field(d, "NOTE");
    const std::string memo = readFile(path("people.dbt"));
    ASSERT_GE(memo.size(), 512u);
    // "first memo" took block 1; the 600-character text (with its 0x1A) took blocks 2 and 3.
    EXPECT_EQ(memo[0], 4);
    ASSERT_EQ(d4go(d, 2), 0);
    EXPECT_EQ(f4long(d4field(d, "N")), -4);
    EXPECT_EQ(c4textToLong(f4ptr(note), 10), 2);
    EXPECT_EQ(memo.size() % 512, 0u);

    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(c4textToLong(f4ptr(note), 10), 1);
    ASSERT_EQ(f4memoAssign(note, std::string(300, 'y').c_str()), 0); // fits the room of block 1
    ASSERT_EQ(d4flush(d), 0);
    EXPECT_EQ(c4textToLong(f4ptr(note), 10), 1);
    ASSERT_EQ(f4memoAssign(note, std::string(512, 'z').c_str()), 0); // 512 + 0x1A needs two blocks: moves
    ASSERT_EQ(d4flush(d), 0);
    EXPECT_EQ(c4textToLong(f4ptr(note), 10), 4);
    ASSERT_EQ(d4go(d, 3), 0);
    EXPECT_EQ(std::string(f4memoStr(note)), "");
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(std::string(f4memoStr(note)), std::string(512, 'z'));
    EXPECT_EQ(readFile(path("people.dbt"))[0], 6);

    // A block number past the end of the memo file reads as an empty text with -1, nothing raised.
    std::memcpy(f4assignPtr(note), "    999999", 10);
    d4changed(d, 0);
    f4memoReset(note);
    EXPECT_EQ(f4memoRead(note), -1);
    EXPECT_EQ(f4memoLen(note), 0u);
    EXPECT_EQ(error4code(&cb), 0);
}
