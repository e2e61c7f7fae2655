#!/bin/sh
# Builds ZuCam and runs it. Until the main window exists the program that
# serves a phone is the headless server, zucamd.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release
if [ -x build/release/bin/zucamd ]; then
    exec build/release/bin/zucamd "$@"
fi
exec build/release/bin/zucam "$@"
