#pragma once
// What the table-engine benchmarks share: the record count, a temporary folder, a stopwatch, system calls
// counted under the engine's file layer, and the per-operation counters every result reports.
#include "xbase/d4all.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace xbench {

// Records in the benchmark tables: BENCH_XBASE_RECORDS (at least 1000), 100000 when unset.
inline long recordCount() {
    const char *e = std::getenv("BENCH_XBASE_RECORDS");
    return e ? std::max(1000L, std::atol(e)) : 100000L;
}

inline std::string tempDir() {
    char tmpl[] = "/tmp/bench_xbase_XXXXXX";
    return ::mkdtemp(tmpl) ? tmpl : "/tmp";
}

inline void removeDir(const std::string &dir) {
    if (dir.rfind("/tmp/bench_xbase_", 0) == 0)
        std::system(("rm -rf '" + dir + "'").c_str());
}

template <class F> double timed(F f) {
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// System calls made while a benchmark ran, by kind. `sizes` are fstat calls (file lengths); `other` are opens,
// closes, truncations and the like.
struct SYS4COUNTS {
    long reads = 0, writes = 0, locks = 0, syncs = 0, sizes = 0, other = 0;
    void reset() { *this = SYS4COUNTS{}; }
    long total() const { return reads + writes + locks + syncs + sizes + other; }
};

// The engine's file layer with every system call counted on its way to the POSIX one. The clock (time(), no
// system call on Linux) and the lock wait's sleep are not counted.
struct COUNTING4SYS : FILE4SYS, SYS4COUNTS {
    int open(const char *path, int flags, int mode) override {
        ++other;
        return FILE4SYS::open(path, flags, mode);
    }
    int close(int fd) override {
        ++other;
        return FILE4SYS::close(fd);
    }
    long pread(int fd, void *buf, long len, long pos) override {
        ++reads;
        return FILE4SYS::pread(fd, buf, len, pos);
    }
    long pwrite(int fd, const void *buf, long len, long pos) override {
        ++writes;
        return FILE4SYS::pwrite(fd, buf, len, pos);
    }
    int fsync(int fd) override {
        ++syncs;
        return FILE4SYS::fsync(fd);
    }
    long size(int fd) override {
        ++sizes;
        return FILE4SYS::size(fd);
    }
    int truncate(int fd, long len) override {
        ++other;
        return FILE4SYS::truncate(fd, len);
    }
    int lock(int fd, long offset, long len, int type) override {
        ++locks;
        return FILE4SYS::lock(fd, offset, len, type);
    }
    int mode(const char *path, unsigned *modeBits) override {
        ++other;
        return FILE4SYS::mode(path, modeBits);
    }
    int unlink(const char *path) override {
        ++other;
        return FILE4SYS::unlink(path);
    }
};

// µs per operation and, when counted, system calls per operation (in all and by kind).
inline void report(benchmark::State &state, long ops, double seconds, const SYS4COUNTS *sys) {
    const double n = static_cast<double>(std::max(1L, ops));
    state.counters["us_per_op"] = seconds * 1e6 / n;
    if (sys) {
        state.counters["syscalls_per_op"] = static_cast<double>(sys->total()) / n;
        state.counters["preads_per_op"] = static_cast<double>(sys->reads) / n;
        state.counters["pwrites_per_op"] = static_cast<double>(sys->writes) / n;
        state.counters["locks_per_op"] = static_cast<double>(sys->locks) / n;
        state.counters["fsyncs_per_op"] = static_cast<double>(sys->syncs) / n;
        state.counters["fstats_per_op"] = static_cast<double>(sys->sizes) / n;
    }
}

} // namespace xbench
