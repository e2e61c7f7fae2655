#!/bin/sh
# Starts what the tests need when it is not already there: an X server (Xvfb)
# and a PulseAudio daemon. Prints the environment to use, as shell assignments;
# `scripts/services.sh stop` ends what an earlier call started.
set -eu
if [ "${1:-start}" = "stop" ]; then
    STATE=${ZUCAM_SERVICES_STATE:-}
    [ -n "$STATE" ] && [ -d "$STATE" ] || exit 0
    if [ -f "$STATE/xvfb.pid" ]; then kill "$(cat "$STATE/xvfb.pid")" 2>/dev/null || true; fi
    if [ -f "$STATE/pulse.started" ]; then pulseaudio --kill 2>/dev/null || true; fi
    rm -rf "$STATE"
    exit 0
fi

# Each start records only what it started itself, so a nested start/stop pair
# never ends services an outer caller started.
STATE=$(mktemp -d /tmp/zucam-services-XXXXXX)
echo "ZUCAM_SERVICES_STATE=$STATE; export ZUCAM_SERVICES_STATE"
if [ -z "${DISPLAY:-}" ]; then
    display=:93
    if ! [ -e /tmp/.X11-unix/X93 ]; then
        Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$STATE/xvfb.log" 2>&1 &
        echo $! >"$STATE/xvfb.pid"
        i=0
        while ! [ -e /tmp/.X11-unix/X93 ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    fi
    echo "DISPLAY=$display; export DISPLAY"
fi

if command -v pactl >/dev/null 2>&1 && ! timeout 5 pactl info >/dev/null 2>&1; then
    # As root PulseAudio warns that it should run in system mode; a per-user
    # daemon is what the tests want.
    if timeout 10 pulseaudio -D --exit-idle-time=-1 >"$STATE/pulse.log" 2>&1; then
        touch "$STATE/pulse.started"
        i=0
        while ! timeout 5 pactl info >/dev/null 2>&1 && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    fi
fi
