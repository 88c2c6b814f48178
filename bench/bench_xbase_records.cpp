// Record access of the table engine against SQLite, on a table with the user table's columns (388-byte
// records). In order, per mode: appends that build the table, random reads by record number (go + two field
// reads), and random updates shaped as the communications server's user-record update (go, lock, re-read,
// assign the bookkeeping columns, flush, unlock). Each reports µs per operation and system calls per operation.
//
// Modes: the engine shared (share mode 0: locks, header count checks) and exclusive (share mode 1); SQLite in
// WAL mode with synchronous=FULL (one sync per committed update, as the engine's flush syncs once), with
// locking_mode NORMAL (shared) and EXCLUSIVE. SQLite reads and updates rows by rowid.
//
// Appends. Every engine append is written through: when d4append returns, the record and the header's count are in
// the file (one write each), whatever the mode; nothing is synced before the closing flush. Three engine modes:
// exclusive; shared with the append lock held across the whole batch; shared with every append taking and releasing
// the append lock itself (and reading the count under it). Beside them SQLite, once with every insert in one
// transaction (nothing reaches the file before COMMIT) and once in autocommit with synchronous=OFF (each insert is
// its own transaction, written when the call returns, not synced: the engine's promise).
//
// Last, memo entries of 8, 16 and 32 MB are read back (one d4go and the memo read each).
//
// The engine's system calls are counted under its file layer; SQLite's through its replaceable system calls,
// plus its syncs (which that table does not hold) by wrapping fsync and fdatasync in this program.
//
// Records: BENCH_XBASE_RECORDS (default 100000). Updates: a tenth of that.
#include "XbaseBench.h"

#include <sqlite3.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

using xbench::COUNTING4SYS;
using xbench::recordCount;
using xbench::report;
using xbench::SYS4COUNTS;
using xbench::tempDir;
using xbench::timed;

namespace {

// SQLite's system calls go here while one of its benchmarks runs; nullptr otherwise.
SYS4COUNTS* liteCount = nullptr;

} // namespace

// SQLite syncs with fdatasync (or fsync) directly, outside its replaceable system calls.
extern "C" int fsync(int fd) {
    static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    if (liteCount)
        ++liteCount->syncs;
    return real(fd);
}
extern "C" int fdatasync(int fd) {
    static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
    if (liteCount)
        ++liteCount->syncs;
    return real(fd);
}

namespace {

struct Column {
    const char* name;
    char type;
    unsigned short width;
};
// The user table's columns. 1 + the widths = 388 bytes a record.
const Column kColumns[] = {
    {"USERNAME", 'C', 30}, {"FULLNAME", 'C', 40}, {"DESCRIPT", 'C', 100}, {"PASSWORD", 'C', 30},
    {"PSW2CUR", 'C', 8},   {"PSW2PREV", 'C', 8},  {"AUNC", 'C', 1},       {"APRGRUNS", 'C', 1},
    {"AOTHERDIR", 'C', 1}, {"ENABLED", 'C', 1},   {"CUSTOM", 'C', 103},   {"MAXTIME", 'N', 5},
    {"NODOLFILE", 'C', 1}, {"NETDRIVE", 'C', 1},  {"LCNCTTIME", 'C', 19}, {"LDISCTIME", 'C', 19},
    {"NSEQFAIL", 'N', 5},  {"NCONNECTS", 'N', 8}, {"AUTODISABL", 'N', 5}, {"ADISABLED", 'C', 1},
};
constexpr int kColumnCount = static_cast<int>(sizeof kColumns / sizeof kColumns[0]);
enum { USERNAME = 0, LCNCTTIME = 14, LDISCTIME = 15, NSEQFAIL = 16, NCONNECTS = 17, ADISABLED = 19 };

// Values of row i (0-based), most of them near their column's width so that both stores hold about as much.
std::string rowText(long i, int column) {
    const Column& c = kColumns[column];
    if (c.type == 'N')
        return std::to_string((i * 31 + column) % 1000);
    if (c.width == 1)
        return (i + column) % 3 ? "Y" : "N";
    std::string s = std::string(c.name) + "-" + std::to_string(i) + "-";
    while (s.size() < static_cast<std::size_t>(c.width) - 2)
        s += static_cast<char>('a' + (s.size() + static_cast<std::size_t>(i)) % 26);
    return s.substr(0, static_cast<std::size_t>(c.width) - 2);
}

std::string timeText(long i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02ld/%02ld/2030 %02ld:%02ld:%02ld", 1 + i % 12, 1 + i % 28, i % 24, i % 60,
                  (i / 60) % 60);
    return buf;
}

long randomRecord(std::mt19937& rng, long n) {
    return 1 + static_cast<long>(rng() % static_cast<unsigned>(n));
}

// --- the engine ---

struct EngineTable {
    CODE4 cb;
    COUNTING4SYS sys;
    DATA4* d = nullptr;
    FIELD4* f[kColumnCount] = {};
    std::string dir;
};
EngineTable* engine[2];

// Argument: 0 = exclusive, 1 = shared under the append lock, 2 = shared, each append locking for itself.
void BM_EngineAppend(benchmark::State& state) {
    const bool shared = state.range(0) != 0;
    const bool lockOnce = state.range(0) == 1;
    for (auto _ : state) {
        auto* t = new EngineTable;
        if (state.range(0) < 2)
            engine[shared] = t;
        t->dir = tempDir();
        code4init(&t->cb);
        t->cb.autoOpen = 0;
        t->cb.shareMode = shared ? 0 : 1;
        t->cb.sys = &t->sys;
        std::vector<FIELD4INFO> fields;
        for (const Column& c : kColumns)
            fields.push_back({c.name, c.type, c.width, 0});
        fields.push_back({nullptr, 0, 0, 0});
        t->d = d4create(&t->cb, (t->dir + "/USERS").c_str(), fields.data());
        if (!t->d) {
            state.SkipWithError("d4create failed");
            return;
        }
        for (int c = 0; c < kColumnCount; ++c)
            t->f[c] = d4field(t->d, kColumns[c].name);
        const long n = recordCount();
        std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(n));
        for (long i = 0; i < n; ++i)
            for (int c = 0; c < kColumnCount; ++c)
                rows[static_cast<std::size_t>(i)].push_back(rowText(i, c));
        long failed = 0;
        t->sys.reset();
        double s = timed([&] {
            if (lockOnce)
                failed += d4lockAppend(t->d) != 0;
            for (long i = 0; i < n; ++i) {
                d4appendStart(t->d);
                for (int c = 0; c < kColumnCount; ++c)
                    f4assign(t->f[c], rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)].c_str());
                failed += d4append(t->d) != 0;
            }
            failed += d4flush(t->d) != 0;
            if (lockOnce)
                failed += d4unlock(t->d) != 0;
        });
        if (failed || d4recCount(t->d) != n)
            state.SkipWithError("appends failed");
        report(state, n, s, &t->sys);
        if (state.range(0) == 2) {
            d4close(t->d);
            code4initUndo(&t->cb);
            xbench::removeDir(t->dir);
            delete t;
        }
    }
}

void BM_EngineRead(benchmark::State& state) {
    EngineTable* t = engine[state.range(0) != 0];
    const long n = recordCount();
    std::mt19937 rng(7);
    for (auto _ : state) {
        long sum = 0, failed = 0;
        t->sys.reset();
        double s = timed([&] {
            for (long i = 0; i < n; ++i) {
                failed += d4go(t->d, randomRecord(rng, n)) != 0;
                sum += static_cast<unsigned char>(f4str(t->f[USERNAME])[6]) + f4long(t->f[NCONNECTS]);
            }
        });
        benchmark::DoNotOptimize(sum);
        if (failed)
            state.SkipWithError("d4go failed");
        report(state, n, s, &t->sys);
    }
}

void BM_EngineUpdate(benchmark::State& state) {
    EngineTable* t = engine[state.range(0) != 0];
    const long n = recordCount(), ops = n / 10;
    std::mt19937 rng(11);
    for (auto _ : state) {
        long failed = 0;
        t->sys.reset();
        double s = timed([&] {
            for (long i = 0; i < ops; ++i) {
                const long r = randomRecord(rng, n);
                if (d4go(t->d, r) != 0 || d4lock(t->d, r) != 0) {
                    ++failed;
                    continue;
                }
                bool ok = d4refreshRecord(t->d) == 0;
                const long connects = f4long(t->f[NCONNECTS]);
                ok = ok && f4assign(t->f[LCNCTTIME], timeText(i).c_str()) == 0;
                ok = ok && f4assign(t->f[LDISCTIME], timeText(i + 1).c_str()) == 0;
                ok = ok && f4assignLong(t->f[NCONNECTS], connects + 1) == 0;
                ok = ok && f4assignLong(t->f[NSEQFAIL], 0) == 0;
                ok = ok && f4assign(t->f[ADISABLED], "N") == 0;
                ok = ok && d4flush(t->d) == 0;
                ok = d4unlock(t->d) == 0 && ok;
                failed += !ok;
            }
        });
        if (failed)
            state.SkipWithError("updates failed");
        report(state, ops, s, &t->sys);
        d4close(t->d);
        code4initUndo(&t->cb);
        xbench::removeDir(t->dir);
    }
}

// One memo entry of state.range(0) MB, read back with d4go and f4memoLen.
void BM_EngineMemoRead(benchmark::State& state) {
    const long megabytes = state.range(0);
    for (auto _ : state) {
        EngineTable t;
        t.dir = tempDir();
        code4init(&t.cb);
        t.cb.autoOpen = 0;
        t.cb.shareMode = 1;
        const FIELD4INFO fields[] = {{"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0}};
        t.d = d4create(&t.cb, (t.dir + "/MEMO").c_str(), fields);
        std::string text(static_cast<std::size_t>(megabytes) << 20, 'm');
        for (std::size_t i = 0; i < text.size(); i += 61)
            text[i] = '\n';
        bool ok = t.d && d4appendStart(t.d) == 0 &&
                  f4memoAssignN(d4field(t.d, "NOTE"), text.data(), static_cast<unsigned>(text.size())) == 0 &&
                  d4append(t.d) == 0 && d4close(t.d) == 0;
        // A fresh handle: its memo buffer starts empty, as a program reading the table does.
        t.d = ok ? d4open(&t.cb, (t.dir + "/MEMO").c_str()) : nullptr;
        ok = ok && t.d;
        unsigned got = 0;
        t.cb.sys = &t.sys;
        double s = timed([&] {
            ok = ok && d4go(t.d, 1) == 0;
            got = ok ? f4memoLen(d4field(t.d, "NOTE")) : 0;
        });
        if (!ok || got != text.size())
            state.SkipWithError("memo read failed");
        report(state, 1, s, &t.sys);
        if (t.d)
            d4close(t.d);
        code4initUndo(&t.cb);
        xbench::removeDir(t.dir);
    }
}

// --- SQLite ---

// Counting stand-ins for the system calls of SQLite's unix file layer, installed once. Each calls the original
// that installLiteCounting fetched before putting the stand-in in its place.
#define LITE_COUNTED(kind, name, ret, params, args)                                                                    \
    ret(*real_##name) params = nullptr;                                                                                \
    ret lite_##name params {                                                                                           \
        if (liteCount)                                                                                                 \
            ++liteCount->kind;                                                                                         \
        return real_##name args;                                                                                       \
    }
LITE_COUNTED(reads, read, ssize_t, (int fd, void* b, size_t n), (fd, b, n))
LITE_COUNTED(reads, pread64, ssize_t, (int fd, void* b, size_t n, off64_t o), (fd, b, n, o))
LITE_COUNTED(writes, write, ssize_t, (int fd, const void* b, size_t n), (fd, b, n))
LITE_COUNTED(writes, pwrite64, ssize_t, (int fd, const void* b, size_t n, off64_t o), (fd, b, n, o))
// SQLite passes fcntl one pointer or integer argument at most.
LITE_COUNTED(locks, fcntl, int, (int fd, int op, void* arg), (fd, op, arg))
LITE_COUNTED(sizes, fstat, int, (int fd, struct stat* st), (fd, st))
LITE_COUNTED(other, open, int, (const char* p, int flags, int mode), (p, flags, mode))
LITE_COUNTED(other, close, int, (int fd), (fd))
LITE_COUNTED(other, ftruncate, int, (int fd, off_t len), (fd, len))
LITE_COUNTED(other, unlink, int, (const char* p), (p))
#undef LITE_COUNTED

template <class Fn> void replaceCall(const char* name, Fn& original, Fn standIn) {
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    original = reinterpret_cast<Fn>(vfs->xGetSystemCall(vfs, name));
    if (original)
        vfs->xSetSystemCall(vfs, name, reinterpret_cast<sqlite3_syscall_ptr>(standIn));
}

void installLiteCounting() {
    static const bool done = [] {
        replaceCall("read", real_read, lite_read);
        replaceCall("pread64", real_pread64, lite_pread64);
        replaceCall("write", real_write, lite_write);
        replaceCall("pwrite64", real_pwrite64, lite_pwrite64);
        replaceCall("fcntl", real_fcntl, lite_fcntl);
        replaceCall("fstat", real_fstat, lite_fstat);
        replaceCall("open", real_open, lite_open);
        replaceCall("close", real_close, lite_close);
        replaceCall("ftruncate", real_ftruncate, lite_ftruncate);
        replaceCall("unlink", real_unlink, lite_unlink);
        return true;
    }();
    (void)done;
}

struct LiteTable {
    sqlite3* db = nullptr;
    SYS4COUNTS sys;
    std::string dir;
};
LiteTable* lite[2];

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Argument: 0 = exclusive, 1 = shared, both in one transaction; 2 = shared, autocommit with synchronous=OFF.
void BM_SqliteAppend(benchmark::State& state) {
    const bool shared = state.range(0) != 0;
    const bool autocommit = state.range(0) == 2;
    installLiteCounting();
    for (auto _ : state) {
        auto* l = new LiteTable;
        if (!autocommit)
            lite[shared] = l;
        l->dir = tempDir();
        sqlite3_open((l->dir + "/users.db").c_str(), &l->db);
        bool ok = exec(l->db, autocommit ? "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;"
                                         : "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;") &&
                  exec(l->db, shared ? "PRAGMA locking_mode=NORMAL;" : "PRAGMA locking_mode=EXCLUSIVE;");
        std::string create = "CREATE TABLE users(", insert = "INSERT INTO users VALUES(";
        for (int c = 0; c < kColumnCount; ++c) {
            create += std::string(c ? ", " : "") + kColumns[c].name + (kColumns[c].type == 'N' ? " INTEGER" : " TEXT");
            insert += c ? ", ?" : "?";
        }
        ok = ok && exec(l->db, (create + ")").c_str());
        sqlite3_stmt* st = nullptr;
        ok = ok && sqlite3_prepare_v2(l->db, (insert + ")").c_str(), -1, &st, nullptr) == SQLITE_OK;
        const long n = recordCount();
        std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(n));
        for (long i = 0; i < n; ++i)
            for (int c = 0; c < kColumnCount; ++c)
                rows[static_cast<std::size_t>(i)].push_back(rowText(i, c));
        long failed = ok ? 0 : 1;
        l->sys.reset();
        liteCount = &l->sys;
        double s = timed([&] {
            if (!autocommit)
                failed += !exec(l->db, "BEGIN");
            for (long i = 0; i < n && st; ++i) {
                const auto& row = rows[static_cast<std::size_t>(i)];
                for (int c = 0; c < kColumnCount; ++c) {
                    const std::string& v = row[static_cast<std::size_t>(c)];
                    if (kColumns[c].type == 'N')
                        sqlite3_bind_int64(st, c + 1, std::atol(v.c_str()));
                    else
                        sqlite3_bind_text(st, c + 1, v.c_str(), static_cast<int>(v.size()), SQLITE_STATIC);
                }
                failed += sqlite3_step(st) != SQLITE_DONE;
                sqlite3_reset(st);
            }
            if (!autocommit)
                failed += !exec(l->db, "COMMIT");
        });
        liteCount = nullptr;
        sqlite3_finalize(st);
        if (failed)
            state.SkipWithError("inserts failed");
        report(state, n, s, &l->sys);
        if (autocommit) {
            sqlite3_close(l->db);
            xbench::removeDir(l->dir);
            delete l;
        }
    }
}

void BM_SqliteRead(benchmark::State& state) {
    LiteTable* l = lite[state.range(0) != 0];
    const long n = recordCount();
    std::mt19937 rng(7);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(l->db, "SELECT USERNAME, NCONNECTS FROM users WHERE rowid = ?", -1, &st, nullptr);
    for (auto _ : state) {
        long sum = 0, failed = 0;
        l->sys.reset();
        liteCount = &l->sys;
        double s = timed([&] {
            for (long i = 0; i < n; ++i) {
                sqlite3_bind_int64(st, 1, randomRecord(rng, n));
                if (sqlite3_step(st) == SQLITE_ROW)
                    sum += sqlite3_column_text(st, 0)[6] + sqlite3_column_int64(st, 1);
                else
                    ++failed;
                sqlite3_reset(st);
            }
        });
        liteCount = nullptr;
        benchmark::DoNotOptimize(sum);
        if (failed)
            state.SkipWithError("reads failed");
        report(state, n, s, &l->sys);
    }
    sqlite3_finalize(st);
}

void BM_SqliteUpdate(benchmark::State& state) {
    LiteTable* l = lite[state.range(0) != 0];
    const long n = recordCount(), ops = n / 10;
    std::mt19937 rng(11);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(l->db,
                       "UPDATE users SET LCNCTTIME = ?, LDISCTIME = ?, NCONNECTS = NCONNECTS + 1, NSEQFAIL = 0, "
                       "ADISABLED = 'N' WHERE rowid = ?",
                       -1, &st, nullptr);
    for (auto _ : state) {
        long failed = 0;
        l->sys.reset();
        liteCount = &l->sys;
        double s = timed([&] {
            for (long i = 0; i < ops; ++i) {
                const std::string connect = timeText(i), disconnect = timeText(i + 1);
                sqlite3_bind_text(st, 1, connect.c_str(), -1, SQLITE_STATIC);
                sqlite3_bind_text(st, 2, disconnect.c_str(), -1, SQLITE_STATIC);
                sqlite3_bind_int64(st, 3, randomRecord(rng, n));
                failed += sqlite3_step(st) != SQLITE_DONE || sqlite3_changes(l->db) != 1;
                sqlite3_reset(st);
            }
        });
        liteCount = nullptr;
        if (failed)
            state.SkipWithError("updates failed");
        report(state, ops, s, &l->sys);
    }
    sqlite3_finalize(st);
    sqlite3_close(l->db);
    xbench::removeDir(l->dir);
}

} // namespace

// Argument: 0 = exclusive, 1 = shared.
#define XB_ONCE ->Iterations(1)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_EngineAppend)->Arg(0)->Arg(1)->Arg(2) XB_ONCE;
BENCHMARK(BM_SqliteAppend)->Arg(0)->Arg(1)->Arg(2) XB_ONCE;
BENCHMARK(BM_EngineRead)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_SqliteRead)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_EngineUpdate)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_SqliteUpdate)->Arg(0)->Arg(1) XB_ONCE;
BENCHMARK(BM_EngineMemoRead)->Arg(8)->Arg(16)->Arg(32) XB_ONCE;
BENCHMARK_MAIN();
