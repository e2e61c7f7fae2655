#!/bin/sh
# Installs, from Debian 12, whatever ZuCam needs that is not already present.
# Safe to run any number of times.
#   install-deps.sh        what building and running ZuCam needs
#   install-deps.sh test   that, plus the tools the tests and benchmarks use
set -eu

# Building and running: compilers, the libraries ZuCam links against, and the
# outside programs it starts (adb, pactl) or shows with (fonts, Mesa for GL).
RUN_PACKAGES="build-essential cmake ninja-build pkg-config ccache
qtbase5-dev libqt5opengl5-dev libqt5svg5-dev qttools5-dev-tools qttools5-dev
libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
libjsoncpp-dev libenet-dev librtaudio-dev libyuv-dev libpipewire-0.3-dev
adb pulseaudio-utils fonts-wqy-microhei libgl1-mesa-dri
libqt5websockets5-dev libssl-dev libqrencode-dev"

# Tests: sanitizers and fuzzers (clang), GoogleTest and Benchmark, an X server
# and the X tools the window tests click and capture with, a sound server,
# a PipeWire daemon with GStreamer's client, FFmpeg's tools as the reference.
TEST_PACKAGES="clang clang-format libgtest-dev libgmock-dev libbenchmark-dev
ffmpeg xvfb xauth xdotool x11-apps imagemagick
pulseaudio sox iproute2 util-linux procps
pipewire pipewire-bin wireplumber dbus dbus-user-session
gstreamer1.0-pipewire gstreamer1.0-tools gstreamer1.0-plugins-base
chromium"

PACKAGES=$RUN_PACKAGES
if [ "${1:-run}" = "test" ]; then
    PACKAGES="$RUN_PACKAGES $TEST_PACKAGES"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    # sudo may ask for a password at a terminal; without a terminal it must
    # already be allowed, else the user gets the exact line to run.
    if ! command -v sudo >/dev/null 2>&1 || { ! [ -t 0 ] && ! sudo -n true 2>/dev/null; }; then
        echo "install-deps: these Debian packages are missing; as root, run:" >&2
        echo "    apt-get install -y$missing" >&2
        exit 1
    fi
    SUDO="sudo"
fi

echo "install-deps: installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
