#!/bin/sh
# Installs, from Debian 12, whatever ZuCam needs that is not already present.
# Safe to run any number of times.
#   install-deps.sh        what building and running ZuCam needs
#   install-deps.sh test   that, plus the tools the tests and benchmarks use
set -eu

# Building and running: compilers, the libraries ZuCam links against, and the
# outside programs it starts (adb, pactl) or shows with (fonts, Mesa for GL).
# librtaudio-dev needs some JACK headers, and left to choose, apt takes JACK1's
# (libjack-dev), which replaces JACK2's library and with it a user's jackd2;
# JACK2's headers are named here so apt keeps what is installed.
RUN_PACKAGES="build-essential cmake ninja-build pkg-config ccache
qtbase5-dev libqt5opengl5-dev libqt5svg5-dev qttools5-dev-tools qttools5-dev
libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
libjsoncpp-dev libenet-dev librtaudio-dev libjack-jackd2-dev libyuv-dev libpipewire-0.3-dev
adb pulseaudio-utils fonts-wqy-microhei libgl1-mesa-dri
libqt5websockets5-dev libssl-dev libqrencode-dev"

# Tests: sanitizers and fuzzers (clang), GoogleTest and Benchmark, an X server
# and the X tools the window tests click and capture with, a sound server,
# a PipeWire daemon with GStreamer's client, FFmpeg's tools as the reference.
TEST_PACKAGES="clang clang-format libgtest-dev libgmock-dev libbenchmark-dev
ffmpeg xvfb xauth openbox xdotool x11-apps x11-utils imagemagick
pulseaudio sox iproute2 util-linux procps
pipewire pipewire-bin wireplumber dbus dbus-user-session
gstreamer1.0-pipewire gstreamer1.0-tools gstreamer1.0-plugins-base
chromium"

PACKAGES=$RUN_PACKAGES
if [ "${1:-run}" = "test" ]; then
    PACKAGES="$RUN_PACKAGES $TEST_PACKAGES"
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=""
for p in $PACKAGES; do
    # Either JACK's headers will do; the ones already there stay.
    if [ "$p" = libjack-jackd2-dev ] && installed libjack-dev; then
        continue
    fi
    if ! installed "$p"; then
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
        echo "    apt-get install -y --no-remove$missing" >&2
        exit 1
    fi
    SUDO="sudo"
fi

echo "install-deps: installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# --no-remove: installing ZuCam's tools never takes away a package of the
# user's; apt stops instead, and this says what to do.
# shellcheck disable=SC2086
if ! $SUDO apt-get install -y -qq --no-install-recommends --no-remove $missing; then
    echo "install-deps: apt-get would not install these without removing other packages," >&2
    echo "or failed otherwise:$missing" >&2
    echo "Nothing was removed. To see what apt wanted to remove, run:" >&2
    echo "    apt-get install --simulate$missing" >&2
    echo "then install the packages yourself, choosing what to keep (for example JACK2:" >&2
    echo "libjack-jackd2-dev instead of libjack-dev)." >&2
    exit 1
fi
