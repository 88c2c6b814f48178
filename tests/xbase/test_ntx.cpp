// NTX indexes: trees the engine builds and keeps (checked by a walker of our own and by Perl's XBase::Index),
// seeks and skips, the record write with its unique rule, the user table's shape, and damaged files.
#include "FakeSys4.h"
#include "NtxWalker.h"
#include "XbaseTestUtil.h"

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>

using namespace xbt;

namespace {

const FIELD4INFO wideFields[] = {{"NAME", 'C', 100, 0}, {"AMOUNT", 'N', 10, 2}, {nullptr, 0, 0, 0}};

std::string perlList(const std::string &file, const char *type) {
    return run(
        std::string("perl -MXBase::Index -e '$i=XBase::Index->new($ARGV[0], type=>\"") + type +
        "\") or die XBase::Index->errstr; $i->prepare_select; while(@d=$i->fetch){print \"$d[0]\\t$d[1]\\n\"}' '" +
        file + "' 2>&1");
}

std::string perlFindEq(const std::string &file, const char *type, const std::string &key) {
    return run(std::string("perl -MXBase::Index -e '$i=XBase::Index->new($ARGV[0], type=>\"") + type +
               "\") or die XBase::Index->errstr; $i->prepare_select_eq($ARGV[1]); @d=$i->fetch; "
               "print \"$d[0]\\t$d[1]\\n\"' '" +
               file + "' '" + key + "' 2>&1");
}

std::string amountKey(double v) {
    char buf[11];
    c4doubleToKey(v, buf, 10, 2);
    return std::string(buf, 10);
}

std::string upper(std::string s) {
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

class NtxTest : public EngineTest {
protected:
    // The body on a table of one NAME field with an index on it, made shared, then exclusive (the table and its
    // index both named stem and the share mode).
    void inEachShareMode(const std::string& stem,
                         const std::function<void(DATA4*, INDEX4*, const std::string&)>& body) {
        const FIELD4INFO fields[] = {{"NAME", 'C', 10, 0}, {nullptr, 0, 0, 0}};
        for (unsigned char shareMode : {0, 1}) {
            SCOPED_TRACE(int(shareMode));
            cb.shareMode = shareMode;
            const std::string name = stem + std::to_string(shareMode);
            DATA4* d = d4create(&cb, name.c_str(), fields);
            ASSERT_NE(d, nullptr);
            INDEX4* x = i4create(d, name.c_str(), "NAME");
            ASSERT_NE(x, nullptr);
            body(d, x, name);
            if (HasFatalFailure())
                return;
        }
    }
};

} // namespace

TEST_F(NtxTest, TreesStayValidThroughAppendsKeyChangesAndDeletionsAndPerlReadsThem) {
    cb.shareMode = 1; // exclusive: no lock calls, the test is about the tree
    DATA4 *d = d4create(&cb, "wide", wideFields);
    ASSERT_NE(d, nullptr);
    INDEX4 *byName = i4create(d, "byname", "UPPER(NAME)", ".NOT. DELETED()");
    ASSERT_NE(byName, nullptr) << error4code(&cb);
    INDEX4 *byAmount = i4create(d, "byamt", "AMOUNT", ".NOT. DELETED()");
    ASSERT_NE(byAmount, nullptr) << error4code(&cb);
    EXPECT_EQ(i4tag(byName)->tagFile->header.keysMax, 8); // key length 100: 8 keys, half 4
    EXPECT_EQ(i4tag(byAmount)->tagFile->header.keysMax, 50);

    std::mt19937 rng(12345);
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        std::string s;
        for (int j = 0; j < 1 + static_cast<int>(rng() % 12); ++j)
            s += static_cast<char>((rng() % 2 ? 'a' : 'A') + rng() % 26);
        names.push_back(s);
    }
    struct Rec {
        std::string name;
        double amount;
        bool deleted = false;
    };
    std::vector<Rec> model(1);
    auto pick = [&] { return names[rng() % names.size()]; };
    auto amount = [&] { return static_cast<double>(static_cast<int>(rng() % 2000001) - 1000000) / 100.0; };
    auto check = [&](const char *batch) {
        SCOPED_TRACE(batch);
        ASSERT_EQ(d4flush(d), 0);
        std::vector<std::pair<std::string, long>> wantName, wantAmount;
        for (size_t r = 1; r < model.size(); ++r)
            if (!model[r].deleted) {
                wantName.emplace_back(upper(model[r].name) + std::string(100 - model[r].name.size(), ' '),
                                      static_cast<long>(r));
                wantAmount.emplace_back(amountKey(model[r].amount), static_cast<long>(r));
            }
        for (auto [file, want] : {std::pair{"byname.ntx", &wantName}, std::pair{"byamt.ntx", &wantAmount}}) {
            NtxWalk w = walkNtx(readFile(path(file)));
            ASSERT_EQ(w.error, "") << file;
            auto got = w.entries;
            std::sort(got.begin(), got.end());
            std::sort(want->begin(), want->end());
            ASSERT_EQ(got, *want) << file;
        }
    };

    for (int i = 0; i < 10000; ++i) {
        Rec r{pick(), amount()};
        ASSERT_EQ(d4appendStart(d), 0);
        f4assign(d4field(d, "NAME"), r.name.c_str());
        f4assignDouble(d4field(d, "AMOUNT"), r.amount);
        ASSERT_EQ(d4append(d), 0);
        model.push_back(r);
    }
    check("appends");
    EXPECT_GE(walkNtx(readFile(path("byname.ntx"))).depth, 5);
    for (int i = 0; i < 5000; ++i) {
        const long n = 1 + static_cast<long>(rng() % 10000);
        ASSERT_EQ(d4go(d, n), 0);
        model[static_cast<size_t>(n)].name = pick();
        model[static_cast<size_t>(n)].amount = amount();
        f4assign(d4field(d, "NAME"), model[static_cast<size_t>(n)].name.c_str());
        f4assignDouble(d4field(d, "AMOUNT"), model[static_cast<size_t>(n)].amount);
        ASSERT_EQ(d4write(d, -1), 0); // keys and data now; a flush (with its syncs) once per batch
        d4changed(d, 0);
    }
    check("key changes");
    std::vector<long> order(10000);
    for (long i = 0; i < 10000; ++i)
        order[static_cast<size_t>(i)] = i + 1;
    std::shuffle(order.begin(), order.end(), rng);
    for (int i = 0; i < 5000; ++i) {
        const long n = order[static_cast<size_t>(i)];
        ASSERT_EQ(d4go(d, n), 0);
        d4delete(d);
        model[static_cast<size_t>(n)].deleted = true;
    }
    check("deletions");
    // Delete down to a handful, so that merges reach the root and it collapses.
    for (int i = 5000; i < 9990; ++i) {
        const long n = order[static_cast<size_t>(i)];
        ASSERT_EQ(d4go(d, n), 0);
        d4delete(d);
        model[static_cast<size_t>(n)].deleted = true;
    }
    ASSERT_EQ(d4flush(d), 0);
    check("nearly all deleted");
    EXPECT_LE(walkNtx(readFile(path("byname.ntx"))).depth, 3);
    for (int i = 0; i < 3000; ++i) { // and grow again
        ASSERT_EQ(d4go(d, order[static_cast<size_t>(i)]), 0);
        d4recall(d);
        model[static_cast<size_t>(order[static_cast<size_t>(i)])].deleted = false;
    }
    ASSERT_EQ(d4flush(d), 0);
    check("recalled");

    // The independent reader lists the same entries in the same order, and finds keys by exact seek.
    ASSERT_EQ(d4close(d), 0);
    for (auto [file, type] : {std::pair{"byname.ntx", "C"}, std::pair{"byamt.ntx", "N"}}) {
        SCOPED_TRACE(file);
        NtxWalk w = walkNtx(readFile(path(file)));
        std::string perl = perlList(path(file), type);
        std::istringstream lines(perl);
        std::string line;
        size_t i = 0;
        while (std::getline(lines, line)) {
            ASSERT_LT(i, w.entries.size()) << line;
            const size_t tab = line.find('\t');
            ASSERT_NE(tab, std::string::npos) << line;
            EXPECT_EQ(std::stol(line.substr(tab + 1)), w.entries[i].second) << i;
            if (std::string(type) == "C") {
                EXPECT_EQ(trimRight(line.substr(0, tab)), trimRight(w.entries[i].first)) << i;
            }
            ++i;
        }
        EXPECT_EQ(i, w.entries.size());
    }
    NtxWalk w = walkNtx(readFile(path("byname.ntx")));
    for (size_t i = 0; i < w.entries.size(); i += w.entries.size() / 7 + 1) {
        const std::string key = trimRight(w.entries[i].first);
        std::string found = perlFindEq(path("byname.ntx"), "C", key);
        EXPECT_EQ(trimRight(found.substr(0, found.find('\t'))), key);
    }
}

TEST_F(NtxTest, SeekFindsPartialNumericDateAndDescendingKeys) {
    const FIELD4INFO fields[] = {{"CODE", 'C', 3, 0}, {"NUM", 'N', 6, 1}, {"WHEN", 'D', 8, 0}, {nullptr, 0, 0, 0}};
    DATA4 *d = d4create(&cb, "seek", fields);
    ASSERT_NE(d, nullptr);
    const struct {
        const char *code;
        double num;
        const char *when;
    } rows[] = {{"ABA", -12.5, "20200101"}, {"ABB", -2, "20210615"}, {"ABB", 0, "19991231"},
                {"ACX", 3.5, "20240229"},   {"B", 250, "20000101"}};
    for (auto &r : rows) {
        d4appendStart(d);
        f4assign(d4field(d, "CODE"), r.code);
        f4assignDouble(d4field(d, "NUM"), r.num);
        f4assign(d4field(d, "WHEN"), r.when);
        ASSERT_EQ(d4append(d), 0);
    }
    INDEX4 *byCode = i4create(d, "bycode", "CODE");
    INDEX4 *byNum = i4create(d, "bynum", "NUM");
    INDEX4 *byWhen = i4create(d, "bywhen", "WHEN");
    INDEX4 *desc = i4create(d, "desc", "CODE", nullptr, 0, 1);
    ASSERT_TRUE(byCode && byNum && byWhen && desc) << error4code(&cb);
    auto seek = [&](INDEX4 *x, const char *text) {
        d4tagSelect(d, i4tag(x));
        return d4seek(d, text);
    };
    const struct {
        INDEX4 *index;
        const char *text;
        int result;
        long rec; // -1: end of file
    } cases[] = {
        {byCode, "AB", 0, 1},   {byCode, "ABB", 0, 2},   {byCode, "AC", 0, 4}, {byCode, "ABC", r4after, 4},
        {byCode, "C", r4eof, -1}, {byCode, "", 0, 1},
        {byNum, "-12.5", 0, 1}, {byNum, "-2", 0, 2},     {byNum, "0", 0, 3},   {byNum, "1", r4after, 4},
        {byNum, "-100", r4after, 1}, {byNum, "999", r4eof, -1},
        {byWhen, "20000101", 0, 5}, {byWhen, "2021", r4after, 2},
        {desc, "ABB", 0, 3},    {desc, "AB", 0, 3},      {desc, "B", 0, 5},    {desc, "AA", r4eof, -1},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(std::string(t4alias(i4tag(c.index))) + " " + c.text);
        EXPECT_EQ(seek(c.index, c.text), c.result) << error4code(&cb);
        if (c.rec < 0)
            EXPECT_TRUE(d4eof(d));
        else
            EXPECT_EQ(d4recNo(d), c.rec);
    }
    d4tagSelect(d, i4tag(byNum));
    EXPECT_EQ(d4seekDouble(d, 3.5), 0);
    EXPECT_EQ(d4recNo(d), 4);
    d4tagSelect(d, i4tag(byWhen));
    EXPECT_EQ(d4seekDouble(d, static_cast<double>(date4toJulian("20240229"))), 0);
    EXPECT_EQ(d4recNo(d), 4);

    // Skips in tag order, both ways, for an ascending and a descending tag.
    auto order = [&](INDEX4 *x, bool backwards) {
        d4tagSelect(d, i4tag(x));
        std::string s;
        for (int rc = backwards ? d4bottom(d) : d4top(d); rc == 0 && !d4eof(d) && !d4bof(d);
             rc = d4skip(d, backwards ? -1 : 1))
            s += std::to_string(d4recNo(d));
        return s;
    };
    EXPECT_EQ(order(byNum, false), "12345");
    EXPECT_EQ(order(byNum, true), "54321");
    EXPECT_EQ(order(byWhen, false), "35124");
    EXPECT_EQ(order(desc, false), "54321");
    d4tagSelect(d, i4tag(byCode));
    ASSERT_EQ(d4top(d), 0);
    EXPECT_EQ(d4skip(d, 2), 0);
    EXPECT_EQ(d4recNo(d), 3);
    EXPECT_EQ(d4skip(d, 5), r4eof); // only two keys left
    EXPECT_TRUE(d4eof(d));

    // A seek that lands on a stale entry (the record changed behind the index) steps over it.
    d4tagSelect(d, i4tag(byCode));
    ASSERT_EQ(i4close(byNum), 0);
    ASSERT_EQ(i4close(byWhen), 0);
    ASSERT_EQ(i4close(desc), 0);
    ASSERT_EQ(i4close(byCode), 0);
    ASSERT_EQ(d4go(d, 1), 0);
    f4assign(d4field(d, "CODE"), "ZZZ"); // written without the index open: its entry ABA is stale
    ASSERT_EQ(d4flush(d), 0);
    byCode = i4open(d, "bycode.ntx");
    ASSERT_NE(byCode, nullptr);
    d4tagSelect(d, i4tag(byCode));
    EXPECT_EQ(d4seek(d, "ABA"), r4after);
    EXPECT_EQ(d4recNo(d), 2);
    EXPECT_EQ(d4seek(d, "AB"), 0);
    EXPECT_EQ(d4recNo(d), 2);
}

TEST_F(NtxTest, UniqueTagsRefuseOrDropDuplicatesAndRollBackEveryTag) {
    const FIELD4INFO fields[] = {{"USERNAME", 'C', 30, 0}, {"NUM", 'N', 5, 0}, {nullptr, 0, 0, 0}};
    DATA4 *d = d4create(&cb, "uniq", fields);
    ASSERT_NE(d, nullptr);
    INDEX4 *byNum = i4create(d, "bynum", "NUM");
    INDEX4 *byName = i4create(d, "byname", "UPPER(USERNAME)", nullptr, 1);
    ASSERT_TRUE(byNum && byName);
    for (auto [name, num] : {std::pair{"ann", 1}, std::pair{"bob", 2}}) {
        d4appendStart(d);
        f4assign(d4field(d, "USERNAME"), name);
        f4assignLong(d4field(d, "NUM"), num);
        ASSERT_EQ(d4append(d), 0);
    }
    // Mode 20: the write is refused and both tags keep their old keys.
    i4tag(byName)->errUnique = r4unique;
    ASSERT_EQ(d4go(d, 2), 0);
    f4assign(d4field(d, "USERNAME"), "ANN");
    f4assignLong(d4field(d, "NUM"), 9);
    EXPECT_EQ(d4write(d, 2), r4unique);
    d4changed(d, 0);
    ASSERT_EQ(d4flush(d), 0);
    NtxWalk names = walkNtx(readFile(path("byname.ntx")));
    NtxWalk nums = walkNtx(readFile(path("bynum.ntx")));
    ASSERT_EQ(names.entries.size(), 2u);
    EXPECT_EQ(trimRight(names.entries[1].first), "BOB");
    ASSERT_EQ(nums.entries.size(), 2u);
    EXPECT_EQ(nums.entries[1].first, "00002");
    ASSERT_EQ(d4go(d, 2), 0);
    EXPECT_EQ(trimRight(f4str(d4field(d, "USERNAME"))), "bob");
    // Mode -340: an error, nothing changed.
    i4tag(byName)->errUnique = e4unique;
    f4assign(d4field(d, "USERNAME"), "ann");
    EXPECT_EQ(d4write(d, 2), e4unique);
    EXPECT_EQ(error4code(&cb), e4unique);
    error4set(&cb, 0);
    d4changed(d, 0);
    // Mode 25: the record is written, the index keeps one entry for the key.
    i4tag(byName)->errUnique = r4uniqueContinue;
    ASSERT_EQ(d4go(d, 2), 0);
    f4assign(d4field(d, "USERNAME"), "Ann");
    ASSERT_EQ(d4flush(d), 0);
    names = walkNtx(readFile(path("byname.ntx")));
    ASSERT_EQ(names.entries.size(), 1u);
    EXPECT_EQ(names.entries[0].second, 1);
    // Mode 0 tags keep duplicates in the order they were added.
    for (int i = 0; i < 30; ++i) {
        d4appendStart(d);
        f4assignLong(d4field(d, "NUM"), 7);
        ASSERT_EQ(d4append(d), 0);
    }
    ASSERT_EQ(d4flush(d), 0);
    nums = walkNtx(readFile(path("bynum.ntx")));
    ASSERT_EQ(nums.error, "");
    std::vector<long> sevens;
    for (auto &e : nums.entries)
        if (e.first == "00007")
            sevens.push_back(e.second);
    ASSERT_EQ(sevens.size(), 30u);
    EXPECT_TRUE(std::is_sorted(sevens.begin(), sevens.end()));
}

TEST_F(NtxTest, UserTableCreateIndexSeekUpdateUnderLockAndReopen) {
    const FIELD4INFO fields[] = {{"USERNAME", 'C', 30, 0}, {"PASSWORD", 'C', 30, 0}, {"NCONNECTS", 'N', 6, 0},
                                 {nullptr, 0, 0, 0}};
    DATA4 *d = d4create(&cb, "$$$UDb", fields);
    ASSERT_NE(d, nullptr);
    for (const char *u : {"admin", "Jim", "$POLICY", "zoe"}) {
        d4appendStart(d);
        f4assign(d4field(d, "USERNAME"), u);
        ASSERT_EQ(d4append(d), 0);
    }
    ASSERT_NE(i4create(d, "$$$UDb.Ntx", "UPPER(USERNAME)"), nullptr) << error4code(&cb);
    ASSERT_EQ(d4close(d), 0);

    d = d4open(&cb, "$$$udb");
    ASSERT_NE(d, nullptr);
    INDEX4 *x = i4open(d, "$$$UDb.Ntx");
    ASSERT_NE(x, nullptr) << error4code(&cb);
    TAG4 *tag = d4tag(d, "$$$UDB");
    ASSERT_NE(tag, nullptr);
    d4tagSelect(d, tag);
    std::string key = upper("jim");
    key.resize(30, ' ');
    ASSERT_EQ(d4seek(d, key.c_str()), 0);
    const long rec = d4recNo(d);
    EXPECT_EQ(rec, 2);
    ASSERT_EQ(d4lock(d, rec), 0);
    ASSERT_EQ(d4refreshRecord(d), 0);
    f4assignLong(d4field(d, "NCONNECTS"), 5);
    f4assign(d4field(d, "USERNAME"), "JIMMY");
    ASSERT_EQ(d4flush(d), 0);
    ASSERT_EQ(d4unlock(d), 0);
    EXPECT_EQ(d4seek(d, "JIM"), 0); // partial key: JIMMY
    EXPECT_EQ(d4seek(d, key.c_str()), r4after);
    EXPECT_EQ(d4seek(d, "$POLICY"), 0);
    EXPECT_EQ(d4recNo(d), 3);
    ASSERT_EQ(d4close(d), 0);

    d = d4open(&cb, "$$$UDB.DBF");
    ASSERT_NE(d, nullptr);
    ASSERT_NE(i4open(d, "$$$udb.ntx"), nullptr);
    d4tagSelect(d, d4tag(d, "$$$UDB"));
    ASSERT_EQ(d4seek(d, "JIMMY"), 0);
    EXPECT_EQ(f4long(d4field(d, "NCONNECTS")), 5);
    NtxWalk w = walkNtx(readFile(path("$$$UDb.Ntx")));
    ASSERT_EQ(w.error, "");
    std::istringstream perl(perlList(path("$$$UDb.Ntx"), "C"));
    std::string listed, line;
    while (std::getline(perl, line))
        listed += trimRight(line.substr(0, line.find('\t'))) + line.substr(line.find('\t')) + ";";
    EXPECT_EQ(listed, "$POLICY\t3;ADMIN\t1;JIMMY\t2;ZOE\t4;");
}

TEST_F(NtxTest, DamagedIndexFilesGiveNotAnIndexFile) {
    const FIELD4INFO fields[] = {{"NAME", 'C', 10, 0}, {nullptr, 0, 0, 0}};
    cb.shareMode = 1;
    DATA4 *d = d4create(&cb, "dmg", fields);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 200; ++i) {
        d4appendStart(d);
        f4assign(d4field(d, "NAME"), ("N" + std::to_string(i * 7919 % 1000)).c_str());
        ASSERT_EQ(d4append(d), 0);
    }
    INDEX4 *x = i4create(d, "good", "NAME");
    ASSERT_NE(x, nullptr);
    ASSERT_EQ(i4close(x), 0);
    const std::string good = readFile(path("good.ntx"));
    NtxWalk w = walkNtx(good);
    ASSERT_EQ(w.error, "");
    ASSERT_GE(w.depth, 2);
    auto put16 = [](std::string &s, size_t o, unsigned v) {
        s[o] = static_cast<char>(v & 0xFF);
        s[o + 1] = static_cast<char>(v >> 8);
    };
    const unsigned root = static_cast<unsigned char>(good[4]) | (static_cast<unsigned char>(good[5]) << 8) |
                          (static_cast<unsigned char>(good[6]) << 16);
    const struct {
        const char *what;
        std::function<void(std::string &)> damage;
        int opens; // 0 refused; 1 the header passes, the damage shows when pages are read; 2 the keys are built again
    } cases[] = {
        {"key length 339",
         [&](std::string& s) {
             put16(s, 14, 339);
             put16(s, 12, 347);
         },
         0},
        {"max not twice half", [&](std::string& s) { put16(s, 20, 7); }, 0},
        {"geometry past the page",
         [&](std::string& s) {
             put16(s, 18, 60);
             put16(s, 20, 30);
         },
         0},
        {"bad signature", [&](std::string& s) { put16(s, 0, 7); }, 0},
        {"truncated", [&](std::string& s) { s.resize(100); }, 0},
        // A root outside the pages can hold no key of the data file's records: the open builds the keys again.
        {"root past the end", [&](std::string& s) { put16(s, 6, 0x7FFF); }, 2},
        {"root not on a page", [&](std::string& s) { put16(s, 4, 100); }, 2},
        {"key count past max", [&](std::string& s) { put16(s, root, 999); }, 1},
        {"slot outside the page", [&](std::string& s) { put16(s, root + 2, 1020); }, 1},
        {"child cycle",
         [&](std::string& s) {
             // every child of the root points back at the root
             const unsigned n = static_cast<unsigned char>(s[root]);
             for (unsigned i = 0; i <= n; ++i) {
                 unsigned slot = static_cast<unsigned char>(s[root + 2 + 2 * i]) |
                                 (static_cast<unsigned char>(s[root + 3 + 2 * i]) << 8);
                 s[root + slot] = static_cast<char>(root & 0xFF);
                 s[root + slot + 1] = static_cast<char>((root >> 8) & 0xFF);
                 s[root + slot + 2] = static_cast<char>((root >> 16) & 0xFF);
             }
         },
         1},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string bad = good;
        c.damage(bad);
        writeFile(path("BAD.NTX"), bad);
        error4set(&cb, 0);
        INDEX4 *b = i4open(d, "bad.ntx");
        if (!c.opens) {
            EXPECT_EQ(b, nullptr);
            EXPECT_EQ(error4code(&cb), e4index);
            continue;
        }
        ASSERT_NE(b, nullptr) << error4code(&cb);
        d4tagSelect(d, i4tag(b));
        if (c.opens == 2) {
            EXPECT_EQ(d4seek(d, "N5"), 0);
            EXPECT_EQ(std::string(f4str(d4field(d, "NAME"))).substr(0, 2), "N5");
            EXPECT_EQ(i4close(b), 0);
            const NtxWalk rebuilt = walkNtx(readFile(path("BAD.NTX")));
            EXPECT_EQ(rebuilt.error, "");
            EXPECT_EQ(rebuilt.entries.size(), 200u);
            continue;
        }
        int rc = d4seek(d, "N5");
        for (int i = 0; i < 5 && rc >= 0; ++i)
            rc = d4skip(d, 1);
        EXPECT_EQ(error4code(&cb), e4index);
        error4set(&cb, 0);
        i4close(b);
        error4set(&cb, 0);
    }
}

TEST_F(NtxTest, ChangedPagesReachTheFileBeforeTheVersionThatAnnouncesThem) {
    // A reader that sees a new version drops the pages it has and reads them again: were the version written before
    // the pages, it could read old pages under the new version and keep them. So every page of a change is written
    // while the mark says "being changed", and the header (version and mark cleared) is the change's last write.
    FakeSys4 sys;
    cb.sys = &sys;
    inEachShareMode("order", [&](DATA4* d, INDEX4* x, const std::string& name) {
        const int fd = i4tag(x)->tagFile->file.hand;
        sys.resetCounts();
        for (int i = 0; i < 300; ++i) { // enough for page splits and new roots
            ASSERT_EQ(d4appendStart(d), 0);
            f4assign(d4field(d, "NAME"), ("K" + std::to_string(i * 7919 % 1000)).c_str());
            ASSERT_EQ(d4append(d), 0);
        }
        ASSERT_EQ(d4flush(d), 0);
        bool marked = false;
        long pages = 0, headers = 0;
        for (const auto& [wfd, pos] : sys.writeLog) {
            if (wfd != fd)
                continue;
            if (pos == t4markOffset) {
                marked = true;
            } else if (pos >= t4pageSize) {
                EXPECT_TRUE(marked) << "page at " << pos << " written outside a marked change";
                ++pages;
            } else {
                EXPECT_EQ(pos, 0);
                marked = false;
                ++headers;
            }
        }
        EXPECT_GT(pages, 0);
        EXPECT_GT(headers, 0);
        EXPECT_FALSE(marked) << "the change ends with the header";
        EXPECT_EQ(readFile(path(name + ".ntx"))[t4markOffset], '\0');
        const NtxWalk w = walkNtx(readFile(path(name + ".ntx")));
        EXPECT_EQ(w.error, "");
        EXPECT_EQ(w.entries.size(), 300u);
        ASSERT_EQ(d4close(d), 0);
        // The mark lies where outside readers do not look: a file that carries it reads as before.
        std::string withMark = readFile(path(name + ".ntx"));
        withMark[t4markOffset] = static_cast<char>(t4markChanging);
        writeFile(path("marked.ntx"), withMark);
        const std::string listed = perlList(path("marked.ntx"), "C");
        EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 300) << listed.substr(0, 200);
    });
}

TEST_F(NtxTest, ARecordWriteThatChangesAKeyWritesTheRecordWhileTheIndexIsMarked) {
    // The keys change before the record (a unique tag may refuse it); the index stays marked as being changed until
    // the record is in the file, so a stop in between leaves an index that the next open builds again.
    FakeSys4 sys;
    cb.sys = &sys;
    inEachShareMode("rewrite", [&](DATA4* d, INDEX4* x, const std::string&) {
        for (const char* key : {"ALPHA", "BRAVO", "CHARLIE"}) {
            ASSERT_EQ(d4appendStart(d), 0);
            f4assign(d4field(d, "NAME"), key);
            ASSERT_EQ(d4append(d), 0);
        }
        ASSERT_EQ(d4flush(d), 0);
        const int ntx = i4tag(x)->tagFile->file.hand, dbf = d->dataFile->file.hand;
        sys.resetCounts();
        ASSERT_EQ(d4go(d, 2), 0);
        ASSERT_EQ(f4assign(d4field(d, "NAME"), "ZULU"), 0);
        ASSERT_EQ(d4flush(d), 0);
        long mark = -1, record = -1, header = -1;
        for (size_t i = 0; i < sys.writeLog.size(); ++i) {
            const auto& [fd, pos] = sys.writeLog[i];
            if (fd == ntx && pos == t4markOffset && mark < 0)
                mark = long(i);
            else if (fd == dbf && pos > 0 && record < 0)
                record = long(i);
            else if (fd == ntx && pos == 0)
                header = long(i);
        }
        EXPECT_GE(mark, 0);
        EXPECT_GT(record, mark) << "the record is written while the index is marked";
        EXPECT_GT(header, record) << "the mark is cleared after the record is in the file";
        ASSERT_EQ(d4close(d), 0);
    });
}

// Two handles of one table share its index file. When the handle that opened the index closes first, the other one
// still repairs the index a writer left half changed when it changes the table: its keys are built from this table's
// records, never through the handle that is gone (whose memory the next handle opened takes over).
TEST_F(NtxTest, AnIndexLeftHalfChangedIsRebuiltFromItsOwnTableAfterTheHandleThatOpenedItCloses) {
    const FIELD4INFO fields[] = {{"NAME", 'C', 10, 0}, {nullptr, 0, 0, 0}};
    cb.shareMode = 0;
    cb.duplicateOpenCheck = 0;
    DATA4* d = d4create(&cb, "shared", fields);
    ASSERT_NE(d, nullptr);
    ASSERT_NE(i4create(d, "shared", "NAME"), nullptr);
    for (const char* name : {"CHARLIE", "ALPHA", "BRAVO"}) {
        ASSERT_EQ(d4appendStart(d), 0);
        ASSERT_EQ(f4assign(d4field(d, "NAME"), name), 0);
        ASSERT_EQ(d4append(d), 0);
    }
    DATA4* other = d4create(&cb, "other", fields);
    ASSERT_NE(other, nullptr);
    closeAll();

    DATA4* first = d4open(&cb, "shared");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(i4open(first, "shared.ntx"), nullptr);
    DATA4* second = d4open(&cb, "shared");
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(d4close(first), 0);
    ASSERT_NE(d4open(&cb, "other"), nullptr); // an empty table
    // The mark of a writer that stopped half way.
    {
        std::string ntx = readFile("shared.ntx");
        ASSERT_GT(ntx.size(), size_t(t4markOffset));
        ntx[t4markOffset] = char(t4markChanging);
        writeFile("shared.ntx", ntx);
    }
    // The repair comes with the index lock that a change takes.
    ASSERT_EQ(d4appendStart(second), 0);
    ASSERT_EQ(f4assign(d4field(second, "NAME"), "DELTA"), 0);
    ASSERT_EQ(d4append(second), 0);
    TAG4* tag = d4tagDefault(second);
    ASSERT_NE(tag, nullptr);
    d4tagSelect(second, tag);
    std::string walked;
    for (int rc = d4top(second); rc == 0 && !d4eof(second); rc = d4skip(second, 1))
        walked += std::string(f4ptr(d4field(second, "NAME")), 10) + "|";
    EXPECT_EQ(walked, "ALPHA     |BRAVO     |CHARLIE   |DELTA     |");
    EXPECT_EQ(error4code(&cb), 0);
    EXPECT_EQ(readFile("shared.ntx")[t4markOffset], '\0') << "the keys were built again";
}
