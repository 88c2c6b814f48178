# Shared set-up for run.sh and test.sh: install what a fresh Debian machine lacks, then configure and build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD="${VORD_BUILD_DIR:-$ROOT/build}"

# What building the programs and running them needs (run.sh): the compiler and build tools, Qt, GoogleTest (the
# build's configuration asks for it), shapelib for the map's shape files, the coastlines the map draws when it
# has no tiles, and a font.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config python3 qt6-base-dev libgl-dev libgtest-dev libgmock-dev libshp-dev
                libplplot-data fonts-dejavu-core)
# What the tests need besides (test.sh): the compiler cache, the benchmarks' library and SQLite that the table
# engine's benchmarks set beside it, clang for the fuzz build (its libFuzzer runtime is chosen by
# vord_clang_runtime), the readers the tests check files with, and the X server, window manager and input tools of
# the scenarios.
TEST_PACKAGES=(ccache libbenchmark-dev libsqlite3-dev clang poppler-utils python3-dbf python3-dbfread
               libdbd-xbase-perl xvfb xauth openbox xdotool x11-utils x11-apps)

# vord_install PACKAGE...: installs those of the packages that are missing.
vord_install() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local SUDO=""
        [ "$(id -u)" -ne 0 ] && SUDO="sudo"
        $SUDO apt-get update -q
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
    fi
}

# The package of clang's runtime libraries (libFuzzer among them) that matches the installed clang, by its major
# version: libclang-rt-N-dev. Nothing when clang is not installed.
vord_clang_runtime() {
    command -v clang >/dev/null || return 0
    local major
    major="$(clang --version | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -1)"
    if [ -n "$major" ]; then echo "libclang-rt-$major-dev"; fi
}

# ccache keeps rebuilds of unchanged sources cheap (the test run builds the tree three ways). Paths are hashed
# relative to the checkout, so a fresh clone in another folder reuses what an earlier build compiled.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
vord_launcher() {
    if command -v ccache >/dev/null; then echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi
}

vord_build() {
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(vord_launcher) "$@"
    cmake --build "$BUILD" -j"$(nproc)"
}
