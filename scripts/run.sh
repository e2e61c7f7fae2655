#!/bin/sh
# Builds what running ZuCam needs and starts it; arguments go to the program.
# Only the programs are built (no tests, benchmarks or fuzzers), as a release
# build in build/release; a second run with nothing changed starts at once.
#   ZUCAM_BUILD_ONLY=1 scripts/run.sh   builds and stops there
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

BUILD=build/release
PROGRAMS="zucamd zucam zucam-camera zucam-phone-sim"

# Configured once; ninja itself reruns CMake when a CMakeLists.txt changes.
# A build folder configured otherwise (tests on, another build type) is set
# right again.
configured() {
    [ -f "$BUILD/build.ninja" ] &&
        grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$BUILD/CMakeCache.txt" &&
        grep -qx 'ZUCAM_BUILD_TESTS:BOOL=OFF' "$BUILD/CMakeCache.txt" &&
        grep -qx 'ZUCAM_BUILD_BENCH:BOOL=OFF' "$BUILD/CMakeCache.txt" &&
        grep -qx 'ZUCAM_BUILD_FUZZERS:BOOL=OFF' "$BUILD/CMakeCache.txt"
}
if ! configured; then
    echo "run: configuring the release build in $BUILD"
    cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZUCAM_SANITIZE=OFF \
        -DZUCAM_BUILD_TESTS=OFF -DZUCAM_BUILD_BENCH=OFF -DZUCAM_BUILD_FUZZERS=OFF >/dev/null
fi
# shellcheck disable=SC2086
cmake --build "$BUILD" --target $PROGRAMS

if [ "${ZUCAM_BUILD_ONLY:-}" = 1 ]; then
    echo "run: built $PROGRAMS in $BUILD/bin"
    exit 0
fi

# Which program serves the phone: ZuCam's window wherever a display can show
# it, zucamd (ZuCam without a window) everywhere else.
if [ -n "${DISPLAY:-}" ]; then
    echo "run: starting ZuCam's window on display $DISPLAY (DISPLAY is set)"
    exec "$BUILD/bin/zucam" "$@"
fi
if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: starting ZuCam's window on Wayland display $WAYLAND_DISPLAY (WAYLAND_DISPLAY is set)"
    # Qt's Wayland plugin when installed, X through XWayland otherwise.
    QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-"wayland;xcb"}
    export QT_QPA_PLATFORM
    exec "$BUILD/bin/zucam" "$@"
fi
echo "run: starting zucamd, ZuCam without a window (no DISPLAY or WAYLAND_DISPLAY to show one on)"
exec "$BUILD/bin/zucamd" "$@"
