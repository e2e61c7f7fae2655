#!/bin/sh
# Builds ZuCam and runs it: the window when there is a display to show it on,
# the headless server zucamd otherwise.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release
if [ -n "${DISPLAY:-}" ]; then
    echo "run.sh: starting ZuCam's window on display $DISPLAY (DISPLAY is set)"
    exec build/release/bin/zucam "$@"
fi
if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: starting ZuCam's window on Wayland display $WAYLAND_DISPLAY (WAYLAND_DISPLAY is set)"
    # Qt's Wayland plugin when installed, X through XWayland otherwise.
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-"wayland;xcb"}
    export QT_QPA_PLATFORM
    exec build/release/bin/zucam "$@"
fi
echo "run.sh: starting zucamd, ZuCam without a window (no DISPLAY or WAYLAND_DISPLAY to show one on)"
exec build/release/bin/zucamd "$@"
