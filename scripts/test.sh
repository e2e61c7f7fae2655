#!/bin/sh
# Builds every test with AddressSanitizer and UndefinedBehaviorSanitizer, builds
# the fuzzers with clang, starts the services the tests need and runs them all.
# Then the build people run (Release) runs the tests that drive the real
# programs and the media and window code, with glibc's heap checks on.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test

JOBS=${ZUCAM_JOBS:-$(nproc)}
# A second checkout or clone reuses what ccache already compiled elsewhere.
CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(pwd)}
CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
export CCACHE_BASEDIR CCACHE_NOHASHDIR

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DZUCAM_SANITIZE=ON -DZUCAM_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j "$JOBS"

if command -v clang++ >/dev/null 2>&1; then
    CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZUCAM_BUILD_FUZZERS=ON -DZUCAM_BUILD_TESTS=ON -DZUCAM_BUILD_BENCH=OFF >/dev/null
    cmake --build build/fuzz -j "$JOBS" --target fuzzers
fi

# A sanitizer's allocator hides what uninstrumented libraries (FFmpeg, libyuv,
# Mesa) and races do to the heap; glibc's own checks in an optimised build do
# not. Every end-to-end test runs there, and the unit tests of the window, the
# camera queue and the media code: the rest are plain logic the sanitizer
# build covers, and leaving them out keeps CI short.
# shellcheck disable=SC2046 # one file per word
RELEASE_TESTS="$(sed -nE 's/^[[:space:]]*zucam_add_gtest\(([a-z0-9_]+) LABEL e2e.*/\1/p' \
    $(find tests -name CMakeLists.txt -o -name '*.cmake') | sort -u)
    renderers_test opengl_widget_gles_test main_window_test setting_dialog_test
    ui_frame_test virtual_camera_queue_test camera_feeder_test device_session_test
    h264_decoder_test ffmpeg_holders_test pcm_resampler_test recorder_test
    screenshot_writer_test zucam_camera_parts_test phone_sim_test"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZUCAM_BUILD_BENCH=OFF >/dev/null
# shellcheck disable=SC2086 # one target per word
cmake --build build/release -j "$JOBS" --target $RELEASE_TESTS

# Each start is stopped again at the end, also one made between the runs.
STATES=""
services_up() {
    eval "$(./scripts/services.sh start)"
    STATES="$STATES $ZUCAM_SERVICES_STATE"
}
# shellcheck disable=SC2317 # called by the trap
services_down() {
    for state in $STATES; do ZUCAM_SERVICES_STATE=$state ./scripts/services.sh stop; done
}
trap services_down EXIT INT TERM
services_up
# A display that went away during a run fails every window test after it
# with the same message; say once what became of it.
report_display() {
    DISPLAY=$DISPLAY timeout 5 xdpyinfo >/dev/null 2>&1 && return 0
    echo "test.sh: the X server at $DISPLAY ended during the tests" >&2
    for state in $STATES; do
        [ -f "$state/xvfb.log" ] && tail -n 20 "$state/xvfb.log" >&2
    done
    return 0
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

# A test that fails is run once more and the failure stays in the output:
# zucamd in USB mode on a machine loaded far past its cores has been seen
# to take too long to end (see the USB end-to-end tests).
RETRY="--repeat until-pass:2"
status=0
# shellcheck disable=SC2086
ctest --test-dir build/asan --output-on-failure -j "$JOBS" $RETRY || status=1
report_display
services_up
# Only the programs built above: the others are placeholders named *_NOT_BUILT,
# and the language test's second run at 144 dpi needs the language test.
# shellcheck disable=SC2086
MALLOC_CHECK_=3 MALLOC_PERTURB_=165 \
    ctest --test-dir build/release --output-on-failure -j "$JOBS" $RETRY \
    -E '(_NOT_BUILT|^language_test_144dpi)$' || status=1
report_display
if [ -d build/fuzz ]; then
    ctest --test-dir build/fuzz -L fuzz --output-on-failure -j "$JOBS" || status=1
fi
exit $status
