#!/usr/bin/env bash
# Set up, build and run every test. Exits non-zero on any failure.
source "$(dirname "$0")/scripts-common.sh"
vord_install
# Every build here fails on a compiler warning in the project's code (run.sh builds without that rule), and keeps
# line tables only as debug information: enough for the sanitizers' reports, and a sixth less to compile.
vord_build -DVORD_WERROR=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
export QT_QPA_PLATFORM=offscreen

# Each test program runs as one CTest test (a long one as a few shards) and writes GoogleTest's report of its
# cases into test-results/; the closing line counts those cases. Most of a test's time is spent waiting on a
# timer, a pseudo-terminal or a child program (a quarter of the two cores' time is used at two at a time), so
# four per core run side by side; under the sanitizers a test needs several times the processor, so two per core.
run_suite() {
    local build="$1" log="$2" per_core="$3"
    shift 3
    rm -rf "$build/test-results"
    ctest --test-dir "$build" --output-on-failure -j"$((per_core * $(nproc)))" "$@" 2>&1 | tee "$log"
    return "${PIPESTATUS[0]}"
}
LOG="$BUILD/ctest.log"
run_suite "$BUILD" "$LOG" 4 --timeout 300 -LE scenario || { echo "Tests failed."; exit 1; }

# Scenarios: the programs of the program folder on a private X server with a window manager, real input. Each
# has a display of its own; four at a time still leave half of two cores idle, and keep windows prompt.
SCN_LOG="$BUILD/ctest-scenarios.log"
ctest --test-dir "$BUILD" --output-on-failure -j4 -L scenario 2>&1 | tee "$SCN_LOG"
[ "${PIPESTATUS[0]}" -eq 0 ] || { echo "Scenarios failed."; exit 1; }

# The same suite built with the address and undefined-behaviour sanitizers.
if [ "${VORD_SKIP_SANITIZE:-0}" != "1" ]; then
    SAN_BUILD="$BUILD-sanitize"
    cmake -S "$ROOT" -B "$SAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DVORD_SANITIZE=ON \
        -DVORD_WERROR=ON $(vord_launcher) >/dev/null
    cmake --build "$SAN_BUILD" -j"$(nproc)"
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        run_suite "$SAN_BUILD" "$SAN_BUILD/ctest.log" 2 --timeout 600 || { echo "Sanitizer tests failed."; exit 1; }
fi

# The communications server's tests (its worker thread, the window thread's reads and the common logger's
# sender) built with ThreadSanitizer: only that one test program, run directly.
if [ "${VORD_SKIP_TSAN:-0}" != "1" ]; then
    TSAN_BUILD="$BUILD-tsan"
    cmake -S "$ROOT" -B "$TSAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
        -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread -DVORD_WERROR=ON $(vord_launcher) >/dev/null
    cmake --build "$TSAN_BUILD" -j"$(nproc)" --target commserver_tests
    (cd "$TSAN_BUILD/tests" && VORD_SOURCE_DIR="$ROOT" TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        timeout 1200 ./commserver_tests) > "$TSAN_BUILD/tsan.log" 2>&1 \
        || { tail -60 "$TSAN_BUILD/tsan.log"; echo "ThreadSanitizer tests failed."; exit 1; }
    tail -1 "$TSAN_BUILD/tsan.log"
fi

# Fuzz targets: their seed corpus and a short run each (VORD_FUZZ_SECONDS, 5 unless set), with clang's libFuzzer
# and AddressSanitizer.
if command -v clang++ >/dev/null; then
    FUZZ_BUILD="$BUILD-fuzz"
    cmake -S "$ROOT" -B "$FUZZ_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
        -DCMAKE_CXX_COMPILER=clang++ -DVORD_FUZZ=ON -DVORD_WERROR=ON $(vord_launcher) >/dev/null
    cmake --build "$FUZZ_BUILD" -j"$(nproc)" --target fuzz_all
    # The targets run side by side, one per core, each for its full time; their reports follow in order.
    FUZZ_RUN="$(mktemp -d)"
    fuzz_one() {
        local f="$1" name work
        name="$(basename "$f")"
        work="$FUZZ_RUN/$name"
        mkdir -p "$work"
        [ -d "$ROOT/tests/fuzz/corpus/$name" ] && cp -r "$ROOT/tests/fuzz/corpus/$name/." "$work/"
        "$f" -max_total_time="${VORD_FUZZ_SECONDS:-5}" -timeout=30 -rss_limit_mb=2048 "$work" \
            > "$FUZZ_RUN/$name.log" 2>&1 || touch "$FUZZ_RUN/$name.failed"
    }
    for f in "$FUZZ_BUILD"/fuzz/fuzz_*; do
        [ -x "$f" ] || continue
        while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
        fuzz_one "$f" &
    done
    wait
    for f in "$FUZZ_BUILD"/fuzz/fuzz_*; do
        [ -x "$f" ] || continue
        name="$(basename "$f")"
        echo "== $name"
        if [ -e "$FUZZ_RUN/$name.failed" ]; then
            tail -40 "$FUZZ_RUN/$name.log"
            echo "Fuzz target $name found a failure."
            exit 1
        fi
        tail -1 "$FUZZ_RUN/$name.log"
    done
    rm -rf "$FUZZ_RUN"
fi

# One closing line for the whole run: the test cases of the test programs (from their reports), the other CTest
# tests and the scenarios.
python3 - "$LOG" "$SCN_LOG" "$BUILD/test-results" <<'PY'
import glob, json, re, sys
total = failed = 0
for log in sys.argv[1:3]:
    m = re.findall(r"tests passed, (\d+) tests failed out of (\d+)", open(log).read())
    if m:
        failed += int(m[-1][0])
        total += int(m[-1][1])
for report in glob.glob(sys.argv[3] + "/*.json"):
    r = json.load(open(report))
    total += r["tests"] - 1  # the program itself was counted as one CTest test
    failed += r["failures"]
print(f"{total - failed} passed, {failed} failed")
PY
