# Shared set-up for run.sh and test.sh: install what a fresh Debian machine lacks, then configure and build.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD="${VORD_BUILD_DIR:-$ROOT/build}"

PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev python3 xvfb xauth poppler-utils python3-dbf python3-dbfread libdbd-xbase-perl
          ccache fonts-dejavu-core libshp-dev libplplot-data
          openbox xdotool x11-utils x11-apps)

vord_install() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
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
