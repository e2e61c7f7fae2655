#!/bin/sh
# Starts what the tests need when it is not already there: an X server (Xvfb)
# with a window manager (openbox), a PulseAudio daemon, and a PipeWire daemon with its session manager. Prints the environment to use, as shell assignments;
# `scripts/services.sh stop` ends what an earlier call started;
# `scripts/services.sh start pipewire` starts only PipeWire (a test that needs
# nothing else).
set -eu
if [ "${1:-start}" = "stop" ]; then
    STATE=${ZUCAM_SERVICES_STATE:-}
    [ -n "$STATE" ] && [ -d "$STATE" ] || exit 0
    if [ -f "$STATE/openbox.pid" ]; then kill "$(cat "$STATE/openbox.pid")" 2>/dev/null || true; fi
    if [ -f "$STATE/xvfb.pid" ]; then kill "$(cat "$STATE/xvfb.pid")" 2>/dev/null || true; fi
    if [ -f "$STATE/pulse.started" ]; then pulseaudio --kill 2>/dev/null || true; fi
    for name in wireplumber pipewire dbus; do
        if [ -f "$STATE/$name.pid" ]; then kill "$(cat "$STATE/$name.pid")" 2>/dev/null || true; fi
    done
    rm -rf "$STATE"
    exit 0
fi

# Each start records only what it started itself, so a nested start/stop pair
# never ends services an outer caller started.
ONLY=${2:-}
STATE=$(mktemp -d /tmp/zucam-services-XXXXXX)
echo "ZUCAM_SERVICES_STATE=$STATE; export ZUCAM_SERVICES_STATE"
# Daemons run in a session of their own: a signal meant for the caller's
# process group (a terminal's Ctrl+C, a runner ending its job, a test that
# ends its group) must not take the display away from the tests still running.
x_answers() { DISPLAY=$1 timeout 5 xdpyinfo >/dev/null 2>&1; }
if [ "$ONLY" != pipewire ] && ! { [ -n "${DISPLAY:-}" ] && x_answers "$DISPLAY"; }; then
    if [ -n "${DISPLAY:-}" ]; then
        echo "services.sh: no X server answers at $DISPLAY; starting one" >&2
    fi
    # A display number of its own, from 93 on: low numbers are where
    # people's desktops and the tests' own servers live. A number whose lock
    # names a running process is taken; Xvfb clears a stale lock and socket
    # itself. (-displayfd is no way out: a server started with it takes no
    # lock, and one in another network namespace then takes over the socket
    # file of a running server.) -noreset: by default the server resets
    # whenever its last client leaves, and a window test connecting during
    # that reset is refused.
    number=93
    started=
    while [ -z "$started" ] && [ $number -lt 120 ]; do
        lock=/tmp/.X$number-lock
        if [ -e "$lock" ] && kill -0 "$(tr -dc 0-9 <"$lock")" 2>/dev/null; then
            number=$((number + 1))
            continue
        fi
        setsid Xvfb ":$number" -screen 0 1280x800x24 -nolisten tcp -noreset \
            >"$STATE/xvfb.log" 2>&1 </dev/null &
        pid=$!
        i=0
        while kill -0 $pid 2>/dev/null && [ $i -lt 100 ]; do
            if [ "$(tr -dc 0-9 2>/dev/null <"$lock")" = "$pid" ] && x_answers ":$number"; then
                started=yes
                break
            fi
            sleep 0.1
            i=$((i + 1))
        done
        if [ -z "$started" ]; then
            kill $pid 2>/dev/null || true
            number=$((number + 1))
        fi
    done
    if [ -z "$started" ]; then
        echo "services.sh: Xvfb did not start (see $STATE/xvfb.log)" >&2
        exit 1
    fi
    echo "$pid" >"$STATE/xvfb.pid"
    display=:$number
    echo "DISPLAY=$display; export DISPLAY"
    # A real window manager, as people have one: it stacks, maximises and
    # decorates the windows the tests look at.
    wm_runs() { DISPLAY=$display timeout 5 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
    if command -v openbox >/dev/null 2>&1; then
        DISPLAY=$display setsid openbox --sm-disable >"$STATE/openbox.log" 2>&1 </dev/null &
        echo $! >"$STATE/openbox.pid"
        i=0
        while ! wm_runs && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
        wm_runs || echo "services.sh: openbox did not start (see $STATE/openbox.log)" >&2
    fi
fi

if [ "$ONLY" != pipewire ] && command -v pactl >/dev/null 2>&1 && ! timeout 5 pactl info >/dev/null 2>&1; then
    # As root PulseAudio warns that it should run in system mode; a per-user
    # daemon is what the tests want.
    if timeout 10 pulseaudio -D --exit-idle-time=-1 >"$STATE/pulse.log" 2>&1; then
        touch "$STATE/pulse.started"
        i=0
        while ! timeout 5 pactl info >/dev/null 2>&1 && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    fi
fi

# PipeWire: the camera tests publish a real camera node. Its clients find the
# daemon in PIPEWIRE_RUNTIME_DIR (else XDG_RUNTIME_DIR); without a usable
# runtime directory (root in a container) it gets a private one. wireplumber
# needs a D-Bus session; a private bus is given to it alone, so nothing else
# the tests start meets a bus it did not expect.
pw_answers() { timeout 5 pw-cli info 0 >/dev/null 2>&1; }
# Waits at most 15 s in all, however long each check takes to fail.
wait_for() {
    end=$(($(date +%s) + 15))
    while ! "$@"; do
        [ "$(date +%s)" -lt "$end" ] || return 1
        sleep 0.1
    done
}
wireplumber_linked() { timeout 5 pw-cli ls Client 2>/dev/null | grep -q '"WirePlumber'; }
if command -v pipewire >/dev/null 2>&1 && command -v wireplumber >/dev/null 2>&1 && ! pw_answers; then
    usable() { [ -n "$1" ] && [ -d "$1" ] && [ -w "$1" ]; }
    if ! usable "${PIPEWIRE_RUNTIME_DIR:-${XDG_RUNTIME_DIR:-}}"; then
        PIPEWIRE_RUNTIME_DIR=$STATE/pipewire
        mkdir -m 700 "$PIPEWIRE_RUNTIME_DIR"
        export PIPEWIRE_RUNTIME_DIR
        echo "PIPEWIRE_RUNTIME_DIR=$PIPEWIRE_RUNTIME_DIR; export PIPEWIRE_RUNTIME_DIR"
    fi
    setsid pipewire >"$STATE/pipewire.log" 2>&1 </dev/null &
    echo $! >"$STATE/pipewire.pid"
    if wait_for pw_answers; then
        bus=${DBUS_SESSION_BUS_ADDRESS:-}
        if [ -z "$bus" ] && timeout 10 dbus-daemon --session --fork --print-pid=1 \
            --address="unix:path=$STATE/bus" >"$STATE/dbus.pid" 2>"$STATE/dbus.log"; then
            bus="unix:path=$STATE/bus"
        fi
        DBUS_SESSION_BUS_ADDRESS=$bus setsid wireplumber >"$STATE/wireplumber.log" 2>&1 </dev/null &
        echo $! >"$STATE/wireplumber.pid"
        wait_for wireplumber_linked || echo "services.sh: wireplumber did not start (see $STATE/wireplumber.log)" >&2
    else
        echo "services.sh: the PipeWire daemon did not start (see $STATE/pipewire.log)" >&2
    fi
fi
