// The table engine's indexes against SQLite: a user table of about 400-byte records with the key
// UPPER(USERNAME) (C30) and a numeric key N(10,2). Operations in order: build by append with index maintenance,
// random seeks (hits, then misses), a full ordered skip, key changes and deletions. Each reports µs per
// operation and, for the engine, system calls per operation counted under its file layer.
//
// Records: BENCH_XBASE_RECORDS (default 100000).
#include "XbaseBench.h"

#include <sqlite3.h>

#include <random>
#include <string>
#include <vector>

namespace {

using xbench::COUNTING4SYS;
using xbench::recordCount;
using xbench::report;
using xbench::tempDir;
using xbench::timed;

std::string userName(long i) {
    // Mixed case so that the key's UPPER matters; spread so that appends land all over the tree.
    std::string s = "user" + std::to_string((i * 7919L) % 1000003L) + (i % 2 ? "x" : "Y");
    return s;
}
// The key a seek looks for: a random existing user name as the UPPER index holds it, or, for a miss, one
// just after it that no record has.
std::string seekKey(std::mt19937 &rng, long n, bool miss) {
    std::string key = userName(static_cast<long>(rng() % static_cast<unsigned>(n)));
    for (char &c : key)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (miss)
        key += "Q";
    return key;
}
double amountOf(long i) { return static_cast<double>((i * 104729L) % 2000000L - 1000000L) / 100.0; }

struct EngineDb {
    CODE4 cb;
    COUNTING4SYS sys;
    DATA4 *d = nullptr;
    TAG4 *byName = nullptr, *byAmount = nullptr;
    std::string dir;
};

EngineDb *engine[2];

void BM_EngineAppend(benchmark::State &state) {
    const bool shared = state.range(0) != 0;
    for (auto _ : state) {
        auto *db = new EngineDb;
        engine[shared] = db;
        db->dir = tempDir();
        code4init(&db->cb);
        db->cb.autoOpen = 0;
        db->cb.shareMode = shared ? 0 : 1;
        db->cb.sys = &db->sys;
        const FIELD4INFO fields[] = {{"USERNAME", 'C', 30, 0}, {"AMOUNT", 'N', 10, 2}, {"FILLER", 'C', 360, 0},
                                     {nullptr, 0, 0, 0}};
        db->d = d4create(&db->cb, (db->dir + "/USERS").c_str(), fields);
        db->byName = i4tag(i4create(db->d, (db->dir + "/NAMES").c_str(), "UPPER(USERNAME)", ".NOT. DELETED()"));
        db->byAmount = i4tag(i4create(db->d, (db->dir + "/AMOUNTS").c_str(), "AMOUNT", ".NOT. DELETED()"));
        const long n = recordCount();
        db->sys.reset();
        double s = timed([&] {
            for (long i = 0; i < n; ++i) {
                d4appendStart(db->d);
                f4assign(d4field(db->d, "USERNAME"), userName(i).c_str());
                f4assignDouble(d4field(db->d, "AMOUNT"), amountOf(i));
                d4append(db->d);
            }
            d4flush(db->d);
        });
        report(state, n, s, &db->sys);
    }
}

void BM_EngineSeek(benchmark::State &state) {
    const bool shared = state.range(0) != 0, miss = state.range(1) != 0;
    EngineDb *db = engine[shared];
    const long n = recordCount(), ops = miss ? n / 10 : n;
    std::mt19937 rng(7);
    for (auto _ : state) {
        d4tagSelect(db->d, db->byName);
        db->sys.reset();
        long found = 0;
        double s = timed([&] {
            for (long i = 0; i < ops; ++i) {
                std::string key = seekKey(rng, n, miss);
                key.resize(30, ' ');
                found += d4seek(db->d, key.c_str()) == 0;
            }
        });
        benchmark::DoNotOptimize(found);
        report(state, ops, s, &db->sys);
    }
}

void BM_EngineSkipAll(benchmark::State &state) {
    EngineDb *db = engine[state.range(0) != 0];
    for (auto _ : state) {
        d4tagSelect(db->d, db->byName);
        db->sys.reset();
        long count = 0;
        double s = timed([&] {
            for (int rc = d4top(db->d); rc == 0 && !d4eof(db->d); rc = d4skip(db->d, 1))
                ++count;
        });
        report(state, std::max(1L, count), s, &db->sys);
    }
}

void BM_EngineKeyChange(benchmark::State &state) {
    EngineDb *db = engine[state.range(0) != 0];
    const long n = recordCount(), ops = n / 10;
    std::mt19937 rng(11);
    for (auto _ : state) {
        d4tagSelect(db->d, nullptr);
        db->sys.reset();
        double s = timed([&] {
            for (long i = 0; i < ops; ++i) {
                const long r = 1 + static_cast<long>(rng() % static_cast<unsigned>(n));
                d4go(db->d, r);
                d4lock(db->d, r);
                f4assign(d4field(db->d, "USERNAME"), (userName(r) + "c").c_str());
                f4assignDouble(d4field(db->d, "AMOUNT"), amountOf(r + 1));
                d4write(db->d, r);
                d4changed(db->d, 0);
                d4unlock(db->d);
            }
        });
        report(state, ops, s, &db->sys);
    }
}

void BM_EngineDelete(benchmark::State &state) {
    EngineDb *db = engine[state.range(0) != 0];
    const long n = recordCount(), ops = n / 2;
    for (auto _ : state) {
        d4tagSelect(db->d, nullptr);
        db->sys.reset();
        double s = timed([&] {
            for (long i = 0; i < ops; ++i) {
                const long r = 1 + (i * 2);
                d4go(db->d, r);
                d4lock(db->d, r);
                d4delete(db->d);
                d4write(db->d, r);
                d4changed(db->d, 0);
                d4unlock(db->d);
            }
            d4flush(db->d);
        });
        report(state, ops, s, &db->sys);
        d4close(db->d);
        code4initUndo(&db->cb);
        xbench::removeDir(db->dir);
    }
}

// --- SQLite, the same table and operations ---

struct LiteDb {
    sqlite3 *db = nullptr;
    std::string dir;
};
LiteDb *lite[2];

void exec(sqlite3 *db, const char *sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

void BM_SqliteAppend(benchmark::State &state) {
    const bool bigCache = state.range(0) != 0;
    for (auto _ : state) {
        auto *l = new LiteDb;
        lite[bigCache] = l;
        l->dir = tempDir();
        sqlite3_open((l->dir + "/users.db").c_str(), &l->db);
        exec(l->db, "PRAGMA page_size=1024; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
        exec(l->db, bigCache ? "PRAGMA cache_size=-2000;" : "PRAGMA cache_size=8;");
        exec(l->db, "CREATE TABLE users(username TEXT, amount REAL, filler TEXT);"
                    "CREATE INDEX byname ON users(upper(username)); CREATE INDEX byamount ON users(amount);");
        sqlite3_stmt *st;
        sqlite3_prepare_v2(l->db, "INSERT INTO users VALUES(?, ?, ?)", -1, &st, nullptr);
        const std::string filler(360, ' ');
        const long n = recordCount();
        double s = timed([&] {
            exec(l->db, "BEGIN");
            for (long i = 0; i < n; ++i) {
                const std::string name = userName(i);
                sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_double(st, 2, amountOf(i));
                sqlite3_bind_text(st, 3, filler.c_str(), -1, SQLITE_STATIC);
                sqlite3_step(st);
                sqlite3_reset(st);
            }
            exec(l->db, "COMMIT");
        });
        sqlite3_finalize(st);
        report(state, n, s, nullptr);
    }
}

void BM_SqliteSeek(benchmark::State &state) {
    LiteDb *l = lite[state.range(0) != 0];
    const bool miss = state.range(1) != 0;
    const long n = recordCount(), ops = miss ? n / 10 : n;
    std::mt19937 rng(7);
    sqlite3_stmt *st;
    sqlite3_prepare_v2(l->db,
                       "SELECT rowid, username FROM users WHERE upper(username) >= ? ORDER BY upper(username) LIMIT 1",
                       -1, &st, nullptr);
    for (auto _ : state) {
        long found = 0;
        double s = timed([&] {
            for (long i = 0; i < ops; ++i) {
                std::string key = seekKey(rng, n, miss);
                sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
                found += sqlite3_step(st) == SQLITE_ROW;
                sqlite3_reset(st);
            }
        });
        benchmark::DoNotOptimize(found);
        report(state, ops, s, nullptr);
    }
    sqlite3_finalize(st);
}

void BM_SqliteSkipAll(benchmark::State &state) {
    LiteDb *l = lite[state.range(0) != 0];
    sqlite3_stmt *st;
    sqlite3_prepare_v2(l->db, "SELECT rowid, username, amount, filler FROM users ORDER BY upper(username)", -1, &st,
                       nullptr);
    for (auto _ : state) {
        long count = 0;
        double s = timed([&] {
            while (sqlite3_step(st) == SQLITE_ROW)
                ++count;
        });
        report(state, std::max(1L, count), s, nullptr);
    }
    sqlite3_finalize(st);
}

void BM_SqliteKeyChange(benchmark::State &state) {
    LiteDb *l = lite[state.range(0) != 0];
    const long n = recordCount(), ops = n / 10;
    std::mt19937 rng(11);
    sqlite3_stmt *st;
    sqlite3_prepare_v2(l->db, "UPDATE users SET username = ?, amount = ? WHERE rowid = ?", -1, &st, nullptr);
    for (auto _ : state) {
        double s = timed([&] {
            for (long i = 0; i < ops; ++i) {
                const long r = 1 + static_cast<long>(rng() % static_cast<unsigned>(n));
                const std::string name = userName(r) + "c";
                sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_double(st, 2, amountOf(r + 1));
                sqlite3_bind_int64(st, 3, r);
                sqlite3_step(st);
                sqlite3_reset(st);
            }
        });
        report(state, ops, s, nullptr);
    }
    sqlite3_finalize(st);
}

void BM_SqliteDelete(benchmark::State &state) {
    LiteDb *l = lite[state.range(0) != 0];
    const long n = recordCount(), ops = n / 2;
    sqlite3_stmt *st;
    sqlite3_prepare_v2(l->db, "DELETE FROM users WHERE rowid = ?", -1, &st, nullptr);
    for (auto _ : state) {
        double s = timed([&] {
            for (long i = 0; i < ops; ++i) {
                sqlite3_bind_int64(st, 1, 1 + i * 2);
                sqlite3_step(st);
                sqlite3_reset(st);
            }
        });
        report(state, ops, s, nullptr);
    }
    sqlite3_finalize(st);
    sqlite3_close(l->db);
    xbench::removeDir(l->dir);
}

} // namespace

// Arguments: engine 0 = exclusive, 1 = shared (version checks and locks); SQLite 0 = 8-page cache, 1 = default.
// The second argument of a seek: 0 = hits, 1 = misses.
#define XB_ONCE ->Iterations(1)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_EngineAppend)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_SqliteAppend)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_EngineSeek)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1}) XB_ONCE;
BENCHMARK(BM_SqliteSeek)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1}) XB_ONCE;
BENCHMARK(BM_EngineSkipAll)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_SqliteSkipAll)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_EngineKeyChange)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_SqliteKeyChange)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_EngineDelete)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_SqliteDelete)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK_MAIN();
