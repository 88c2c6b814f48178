#!/usr/bin/env bash
# Set up, build and start the main program. Arguments are passed to vordalin.
source "$(dirname "$0")/scripts-common.sh"
vord_install
vord_build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "vordalin needs a graphical display (set DISPLAY, or run it under xvfb-run)." >&2
    exit 1
fi
exec "$BUILD/bin/vordalin" "$@"
