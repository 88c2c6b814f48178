#!/usr/bin/env bash
# Set up, build and run every test. Exits non-zero on any failure.
source "$(dirname "$0")/scripts-common.sh"
vord_install
vord_build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" --timeout 300

# Fuzz targets: a short run each, with clang's libFuzzer and AddressSanitizer.
if command -v clang++ >/dev/null; then
    FUZZ_BUILD="$BUILD-fuzz"
    cmake -S "$ROOT" -B "$FUZZ_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DVORD_FUZZ=ON >/dev/null
    cmake --build "$FUZZ_BUILD" -j"$(nproc)" --target fuzz_all
    for f in "$FUZZ_BUILD"/fuzz/fuzz_*; do
        [ -x "$f" ] || continue
        echo "== $(basename "$f")"
        corpus="$ROOT/tests/fuzz/corpus/$(basename "$f")"
        work="$(mktemp -d)"
        [ -d "$corpus" ] && cp -r "$corpus/." "$work/"
        "$f" -max_total_time="${VORD_FUZZ_SECONDS:-20}" -rss_limit_mb=2048 "$work" 2>&1 | tail -3
        rm -rf "$work"
    done
fi
echo "All tests passed."
