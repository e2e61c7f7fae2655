#!/bin/sh
# Makes the README's picture of ZuCam's window (docs/window.png): zucam on a
# private X server (Xvfb) showing the test picture of a simulated phone.
# Everything runs in a private network namespace (only loopback), since zucam
# announces itself on the network.
#   scripts/window-screenshot.sh [BIN_DIR] [OUTPUT]
# BIN_DIR defaults to build/release/bin (ZUCAM_BUILD_ONLY=1 scripts/run.sh
# builds it), OUTPUT to docs/window.png.
set -eu
cd "$(dirname "$0")/.."
BIN=${1:-build/release/bin}
OUT=${2:-docs/window.png}

if [ -z "${ZUCAM_SHOT_IN_NETNS:-}" ]; then
    for tool in Xvfb xdotool import unshare; do
        command -v "$tool" >/dev/null 2>&1 || { echo "window-screenshot: $tool is missing" >&2; exit 1; }
    done
    [ -x "$BIN/zucam" ] && [ -x "$BIN/zucam-phone-sim" ] ||
        { echo "window-screenshot: no zucam in $BIN (build it first)" >&2; exit 1; }
    # Root gets a network namespace directly, others through a user namespace.
    if [ "$(id -u)" = 0 ]; then ns="unshare -n"; else ns="unshare -rn"; fi
    ZUCAM_SHOT_IN_NETNS=1 exec $ns sh "$0" "$BIN" "$OUT"
fi

ip link set lo up
work=$(mktemp -d /tmp/zucam-shot-XXXXXX)
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    sleep 0.5
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# waits up to $1 tenths of a second for the command after it to succeed
wait_for() {
    n=$1
    shift
    while ! "$@" >/dev/null 2>&1; do
        n=$((n - 1))
        [ $n -gt 0 ] || return 1
        sleep 0.1
    done
}

display=""
for d in 89 88 87 86 85 84 83 82 81 80; do
    if ! [ -e "/tmp/.X11-unix/X$d" ] && ! [ -e "/tmp/.X$d-lock" ]; then display=$d; break; fi
done
[ -n "$display" ] || { echo "window-screenshot: no free X display number" >&2; exit 1; }
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids="$! $pids"
wait_for 100 test -e "/tmp/.X11-unix/X$display" ||
    { echo "window-screenshot: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }

export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
export HOME="$work/home" TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config"
export XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/runtime"
export ZUCAM_CAMERA_QUEUE="/ZuVirtualCameraQueue-shot-$$"
# The same picture whatever the locale; ZUCAM_LANG=zh for the Chinese window.
export ZUCAM_LANG="${ZUCAM_LANG:-en}"
mkdir -p "$HOME" "$TMPDIR" "$XDG_CONFIG_HOME/ZuCam" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# No first-use guide over the picture.
printf '{"cfg_first_open":"0","cfg_save_dir":"%s"}\n' "$HOME" >"$XDG_CONFIG_HOME/ZuCam/settings.json"

"$BIN/zucam" --no-camera-output >"$work/zucam.log" 2>&1 &
zucam=$!
pids="$zucam $pids"
find_window() { xdotool search --all --onlyvisible --pid "$zucam" --name . >"$work/window"; }
wait_for 600 find_window ||
    { echo "window-screenshot: no window from zucam" >&2; tail -20 "$work/zucam.log" >&2; exit 1; }
window=$(head -n 1 "$work/window")

# The window shows before its server listens (port 10080 is 2760 in hex).
listening() { grep -q ':2760 0\{8\}:0000 0A' /proc/net/tcp /proc/net/tcp6; }
wait_for 300 listening || { echo "window-screenshot: zucam does not listen on 10080" >&2; exit 1; }
"$BIN/zucam-phone-sim" --port 10080 --name "Pixel 7" --pattern 1280x720@30 --duration 60 \
    >"$work/phone.log" 2>&1 &
pids="$! $pids"
# Connected, then the first pictures on the display page.
wait_for 300 grep -q "^streaming over" "$work/phone.log" ||
    { echo "window-screenshot: the phone did not stream" >&2; cat "$work/phone.log" >&2; exit 1; }
sleep 4
mkdir -p "$(dirname "$OUT")"
import -silent -window "$window" "png:$OUT"
echo "window-screenshot: wrote $OUT"
