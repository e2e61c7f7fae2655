#!/bin/sh
# Builds every test with AddressSanitizer and UndefinedBehaviorSanitizer, builds
# the fuzzers with clang, starts the services the tests need and runs them all.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test

JOBS=${ZUCAM_JOBS:-$(nproc)}

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DZUCAM_SANITIZE=ON -DZUCAM_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j "$JOBS"

if command -v clang++ >/dev/null 2>&1; then
    CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZUCAM_BUILD_FUZZERS=ON -DZUCAM_BUILD_TESTS=ON -DZUCAM_BUILD_BENCH=OFF >/dev/null
    cmake --build build/fuzz -j "$JOBS" --target fuzzers
fi

eval "$(./scripts/services.sh start)"
trap './scripts/services.sh stop' EXIT INT TERM

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

status=0
ctest --test-dir build/asan --output-on-failure -j "$JOBS" || status=1
if [ -d build/fuzz ]; then
    ctest --test-dir build/fuzz -L fuzz --output-on-failure -j "$JOBS" || status=1
fi
exit $status
