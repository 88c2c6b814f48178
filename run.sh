#!/usr/bin/env bash
# Set up, build and start the main program. Arguments are passed to vordalin.
source "$(dirname "$0")/scripts-common.sh"
# The program has windows: without a display there is nothing to build for.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "vordalin needs a graphical display: set DISPLAY, or start this script under a virtual X server" >&2
    echo "with xvfb-run -a ./run.sh (package xvfb)." >&2
    exit 1
fi
vord_install "${BUILD_PACKAGES[@]}"
vord_build
# The program runs in its own folder, as an installed copy would: the Ambleway import starts the
# communications server from the current folder. File names given here are made absolute first.
args=()
for a in "$@"; do
    case "$a" in
        /*) args+=("$a") ;;
        *) args+=("$(pwd)/$a") ;;
    esac
done
cd "$BUILD/bin"
exec ./vordalin "${args[@]}"
