#!/bin/sh
# Installs, from Debian 12, whatever ZuCam needs to build, run and test that is
# not already present. Safe to run any number of times.
set -eu

PACKAGES="build-essential cmake ninja-build pkg-config clang clang-format
qtbase5-dev libqt5opengl5-dev
libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
libjsoncpp-dev libenet-dev librtaudio-dev libyuv-dev
libgtest-dev libgmock-dev libbenchmark-dev
ffmpeg xvfb xauth adb fonts-wqy-microhei
pulseaudio pulseaudio-utils sox iproute2 util-linux procps"

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
    SUDO="sudo"
fi

echo "install-deps: installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
