#!/bin/sh
# Times Python's csv module and our reader on the same full area file (7000 loggers, 50 readings each).
# The C++ benchmark writes the file; Python then parses those very bytes.
# Usage: bench/compare_python_csv.sh [build folder]   (default: build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../build"}
bench="$build/bench/bench_dbfile"
if [ ! -x "$bench" ]; then
    echo "no $bench: build the target bench_dbfile first" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file="$work/area.pdb"

cpp_json=$(VORD_BENCH_FILE="$file" "$bench" --benchmark_filter='BM_(Read|Write)DatabaseFile' \
    --benchmark_min_time=1 --benchmark_format=json 2>/dev/null)

/usr/bin/python3 - "$file" "$cpp_json" <<'PY'
import csv, io, json, sys, time

path, cpp = sys.argv[1], json.loads(sys.argv[2])

def parse():
    with open(path, newline="", encoding="cp1252") as f:
        rows = list(csv.reader(f))
    return rows

rows = parse()
best = float("inf")
for _ in range(7):
    t0 = time.perf_counter()
    parse()
    best = min(best, time.perf_counter() - t0)
py_ms = best * 1000.0

def ms(name):
    for b in cpp["benchmarks"]:
        if b["name"] == name:
            scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
            return b["real_time"] * scale
    return float("nan")

read_ms, write_ms = ms("BM_ReadDatabaseFile"), ms("BM_WriteDatabaseFile")
print(f"file: {len(rows) - 2} loggers, {sum(len(r) for r in rows)} fields")
print(f"{'Python csv.reader (best of 7)':32} {py_ms:8.1f} ms")
print(f"{'ReadDatabaseFile':32} {read_ms:8.1f} ms")
print(f"{'WriteDatabaseFile':32} {write_ms:8.1f} ms")
print(f"{'read speed-up over Python csv':32} {py_ms / read_ms:8.1f} x")
PY
