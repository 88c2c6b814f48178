#!/usr/bin/env bash
# Set up, build and run every test: the headless suites, the scenarios, the suites built with the address and
# undefined-behaviour sanitizers, the communications server's tests under ThreadSanitizer and the fuzz targets.
# Every stage runs even when one before it failed; the closing line counts the test cases of all of them (a stage
# that could not be built counts as one failed case), and the script exits non-zero when any failed. Each stage's
# line names the cases it skipped (disabled ones among them) with the reason.
source "$(dirname "$0")/scripts-common.sh"
vord_install "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
# The fuzz targets link clang's libFuzzer runtime, packaged for each clang version.
RUNTIME="$(vord_clang_runtime)"
if [ -n "$RUNTIME" ] && apt-cache show "$RUNTIME" >/dev/null 2>&1; then
    vord_install "$RUNTIME"
fi
# A failing stage is counted and the run goes on.
set +e
export QT_QPA_PLATFORM=offscreen

PASSED=0
FAILED=0
SKIPPED=0
SUMMARY=()
# count STAGE PASSED FAILED SKIPPED [THE SKIPPED CASES WITH THEIR REASONS]
count() {
    local line
    PASSED=$((PASSED + $2))
    FAILED=$((FAILED + $3))
    SKIPPED=$((SKIPPED + $4))
    line="$(printf '%-16s %5d passed, %d failed, %d skipped' "$1:" "$2" "$3" "$4")"
    [ -z "${5:-}" ] || line+=": $5"
    SUMMARY+=("$line")
}
# count_results STAGE ARGUMENT...: the cases that tests/count_results.py counts with those arguments (its first
# line the counts, its second the skipped cases); no counts are one failed case.
count_results() {
    local stage="$1" out counts
    shift
    out="$(python3 "$ROOT/tests/count_results.py" "$@")"
    counts="$(sed -n 1p <<<"$out")"
    count "$stage" ${counts:-0 1 0} "$(sed -n 2p <<<"$out")"
}
# count_ctest STAGE BUILD: the cases of the CTest run whose reports are in BUILD.
count_ctest() {
    count_results "$1" ctest "$2/ctest-junit.xml" "$2/test-results"
}

# Each test program runs as one CTest test (a long one as a few shards) and writes GoogleTest's report of its
# cases into test-results/, and CTest its own report of the programs; the closing line counts from those. Most of
# a test's time is spent waiting on a timer, a pseudo-terminal or a child program (a quarter of the two cores'
# time is used at two at a time), so four per core run side by side; under the sanitizers a test needs several
# times the processor, so two per core.
run_suite() {
    local build="$1" log="$2" per_core="$3"
    shift 3
    rm -rf "$build/test-results" "$build/ctest-junit.xml"
    ctest --test-dir "$build" --output-on-failure --output-junit "$build/ctest-junit.xml" \
        -j"$((per_core * $(nproc)))" "$@" 2>&1 | tee "$log"
}

# Every build here fails on a compiler warning in the project's code (run.sh builds without that rule), and keeps
# line tables only as debug information: enough for the sanitizers' reports, and a sixth less to compile.
if vord_build -DVORD_WERROR=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"; then
    run_suite "$BUILD" "$BUILD/ctest.log" 4 --timeout 300 -LE scenario
    count_ctest headless "$BUILD"

    # Scenarios: the programs of the program folder on a private X server with a window manager, real input.
    # Each has a display of its own; four at a time still leave half of two cores idle, and keep windows prompt.
    SCN_BUILD="$BUILD/scenario-run"
    mkdir -p "$SCN_BUILD"
    rm -f "$SCN_BUILD/ctest-junit.xml"
    ctest --test-dir "$BUILD" --output-on-failure --output-junit "$SCN_BUILD/ctest-junit.xml" -j4 -L scenario 2>&1 \
        | tee "$BUILD/ctest-scenarios.log"
    count_ctest scenarios "$SCN_BUILD"
else
    echo "The build failed."
    count build 0 1 0
fi

# The same suite built with the address and undefined-behaviour sanitizers. This build compiles each source on
# its own (no unity batches), so a source that leans on what another one of its batch included fails here.
if [ "${VORD_SKIP_SANITIZE:-0}" != "1" ]; then
    SAN_BUILD="$BUILD-sanitize"
    if cmake -S "$ROOT" -B "$SAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
        -DVORD_SANITIZE=ON -DCMAKE_UNITY_BUILD=OFF -DVORD_WERROR=ON $(vord_launcher) >/dev/null &&
        cmake --build "$SAN_BUILD" -j"$(nproc)"; then
        ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
            run_suite "$SAN_BUILD" "$SAN_BUILD/ctest.log" 2 --timeout 600
        count_ctest sanitizers "$SAN_BUILD"
    else
        echo "The sanitizer build failed."
        count sanitizers 0 1 0
    fi
fi

# The communications server's tests (its worker thread, the window thread's reads and the common logger's
# sender) built with ThreadSanitizer: only that one test program, run directly.
if [ "${VORD_SKIP_TSAN:-0}" != "1" ]; then
    TSAN_BUILD="$BUILD-tsan"
    if cmake -S "$ROOT" -B "$TSAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
        -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
        -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread -DVORD_WERROR=ON \
        $(vord_launcher) >/dev/null &&
        cmake --build "$TSAN_BUILD" -j"$(nproc)" --target commserver_tests; then
        rm -f "$TSAN_BUILD/tsan.xml"
        (cd "$TSAN_BUILD/tests" && VORD_SOURCE_DIR="$ROOT" TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
            GTEST_OUTPUT="xml:$TSAN_BUILD/tsan.xml" timeout 1200 ./commserver_tests) >"$TSAN_BUILD/tsan.log" 2>&1
        code=$?
        [ "$code" -eq 0 ] || { tail -60 "$TSAN_BUILD/tsan.log"; echo "ThreadSanitizer tests failed."; }
        tail -1 "$TSAN_BUILD/tsan.log"
        count_results ThreadSanitizer gtest "$TSAN_BUILD/tsan.xml" "$code"
    else
        echo "The ThreadSanitizer build failed."
        count ThreadSanitizer 0 1 0
    fi
fi

# Fuzz targets: their seed corpus and a short run each (VORD_FUZZ_SECONDS, 5 unless set), with clang's libFuzzer
# and AddressSanitizer. Each target counts as one case. The input that makes a target fail (crash-*, leak-*,
# timeout-*, oom-*) is kept in the fuzz build's fuzz-artifacts/<target>/, which each run starts empty.
if command -v clang++ >/dev/null; then
    FUZZ_BUILD="$BUILD-fuzz"
    if cmake -S "$ROOT" -B "$FUZZ_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DCMAKE_CXX_COMPILER=clang++ -DVORD_FUZZ=ON \
        -DVORD_WERROR=ON $(vord_launcher) >/dev/null &&
        cmake --build "$FUZZ_BUILD" -j"$(nproc)" --target fuzz_all; then
        # The targets run side by side, one per core, each for its full time; their reports follow in order.
        FUZZ_RUN="$(mktemp -d)"
        FUZZ_ARTIFACTS="$FUZZ_BUILD/fuzz-artifacts"
        fuzz_one() {
            local f="$1" name work
            name="$(basename "$f")"
            work="$FUZZ_RUN/$name"
            mkdir -p "$work"
            rm -rf "${FUZZ_ARTIFACTS:?}/$name"
            mkdir -p "$FUZZ_ARTIFACTS/$name"
            [ -d "$ROOT/tests/fuzz/corpus/$name" ] && cp -r "$ROOT/tests/fuzz/corpus/$name/." "$work/"
            "$f" -max_total_time="${VORD_FUZZ_SECONDS:-5}" -timeout=30 -rss_limit_mb=2048 \
                -artifact_prefix="$FUZZ_ARTIFACTS/$name/" "$work" >"$FUZZ_RUN/$name.log" 2>&1 ||
                touch "$FUZZ_RUN/$name.failed"
        }
        for f in "$FUZZ_BUILD"/fuzz/fuzz_*; do
            [ -x "$f" ] || continue
            while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n; done
            fuzz_one "$f" &
        done
        wait
        fuzz_passed=0
        fuzz_failed=0
        for f in "$FUZZ_BUILD"/fuzz/fuzz_*; do
            [ -x "$f" ] || continue
            name="$(basename "$f")"
            echo "== $name"
            if [ -e "$FUZZ_RUN/$name.failed" ]; then
                tail -40 "$FUZZ_RUN/$name.log"
                echo "Fuzz target $name found a failure. The input it failed on:"
                ls -1d "$FUZZ_ARTIFACTS/$name"/* 2>/dev/null || echo "(none was written; the report above says why)"
                fuzz_failed=$((fuzz_failed + 1))
            else
                tail -1 "$FUZZ_RUN/$name.log"
                fuzz_passed=$((fuzz_passed + 1))
            fi
        done
        rm -rf "$FUZZ_RUN"
        count fuzz "$fuzz_passed" "$fuzz_failed" 0
    else
        echo "The fuzz build failed."
        count fuzz 0 1 0
    fi
fi

# One closing line for the whole run, after a line per stage.
printf '%s\n' "${SUMMARY[@]}"
echo "$PASSED passed, $FAILED failed, $SKIPPED skipped"
[ "$FAILED" -eq 0 ]
