#!/usr/bin/env bash
# The desktop program at rest, side by side in one run, on a private desktop
# (Xvfb, openbox, a session bus, a sound server with a silent microphone):
#   wake-ups per second while idle (context switches of all its threads),
#   CPU over the idle period, resident memory, and the time from pressing the
#   trigger (Right Ctrl, standing in for Fn) to the start tone reaching the
#   sound server, with the on-device engine.
# Goals: no wake-ups of our own while idle, CPU below 0.1 %, at most 60 MB,
# trigger to tone at most 150 ms.
# Usage: bench/desktop_program_idle.sh [idle seconds, default 60] [program, default build/tavlo]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
program=$(realpath "${2:-build/tavlo}")
for tool in Xvfb openbox dbus-run-session pulseaudio pactl cc; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }
done

work=$(mktemp -d)
chmod 700 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A private display and window manager.
exec 3> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)

# The user's folders and a private sound server with a silent microphone.
mkdir -p "$work/home" "$work/run" "$work/pulse"
chmod 700 "$work/run"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_DATA_HOME="$work/home/.local/share" XDG_STATE_HOME="$work/home/.local/state"
cat > "$work/pulse/server.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native
load-module module-null-sink sink_name=speaker
load-module module-null-sink sink_name=mic
load-module module-remap-source source_name=microphone master=mic.monitor channels=1 channel_map=mono
set-default-sink speaker
set-default-source microphone
PA
echo "autospawn = no" > "$work/pulse/client.conf"
export PULSE_SERVER="unix:$work/pulse/native" PULSE_CLIENTCONFIG="$work/pulse/client.conf"
pulseaudio --daemonize=no -n -F "$work/pulse/server.pa" --exit-idle-time=-1 --use-pid-file=no \
    --realtime=no --high-priority=no >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1

dbus-run-session -- "$program" > "$work/program.log" 2>&1 &
pids+=($!)
pid=""
for _ in $(seq 100); do
    # Ours is the one whose home is this run's (another copy may be running).
    pid=""
    for candidate in $(pgrep -f -x "$program" || true); do
        tr '\0' '\n' < "/proc/$candidate/environ" 2>/dev/null | grep -qx "HOME=$work/home" && pid=$candidate
    done
    [ -n "$pid" ] && grep -q "launch bundle=" "$work/home/.local/state/tavlo/Tavlo.log" 2>/dev/null && break
    sleep 0.1
done
[ -n "$pid" ] || { echo "the program did not start" >&2; cat "$work/program.log" >&2; exit 1; }
sleep 5  # the delayed start-up tasks are done

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }

# One line per thread: its id, name and context switches so far. Threads that
# come and go between the two looks (Qt's pool) are counted while they live.
thread_switches() {
    for task in /proc/"$pid"/task/*; do
        printf '%s %s %s\n' "${task##*/}" "$(tr ' ' '_' < "$task/comm" 2>/dev/null)" \
            "$(awk '/ctxt_switches/ { s += $2 } END { print s + 0 }' "$task/status" 2>/dev/null)"
    done
}
thread_switches > "$work/threads-before"
ticks_before=$(cpu_ticks)
sleep "$seconds"
thread_switches > "$work/threads-after"
ticks_after=$(cpu_ticks)
hz=$(getconf CLK_TCK)
rss_kb=$(awk '/VmRSS/ { print $2 }' "/proc/$pid/status")
threads=$(ls /proc/"$pid"/task | wc -l)

# Trigger to tone: a key pressed through XTest, as a keyboard would (a
# synthetic press of the key's own code; xdotool's presses of modifiers are not
# seen the same way); the start tone is a new (or uncorked) playback stream.
cat > "$work/press.c" <<'C'
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <stdlib.h>
int main(int argc, char** argv) {
    Display* display = XOpenDisplay(NULL);
    if (!display || argc < 3) return 1;
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, XStringToKeysym(argv[1])), atoi(argv[2]), CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
C
cc -o "$work/press" "$work/press.c" -lX11 -lXtst
pactl subscribe > "$work/events" 2>/dev/null &
subscriber=$!
pids+=($subscriber)
sleep 0.5
start=$(date +%s%N)
"$work/press" Control_R 1
tone=""""
for _ in $(seq 300); do
    if grep -q "on sink-input" "$work/events"; then tone=$(date +%s%N); break; fi
    sleep 0.002
done
"$work/press" Control_R 0
sleep 0.5

per_thread=$(awk -v n="$seconds" 'NR == FNR { before[$1] = $3; next }
    { woke = $3 - (($1 in before) ? before[$1] : 0); total += woke; printf "  %-16s %.2f per second\n", $2, woke / n }
    END { printf "TOTAL %.2f\n", total / n }' "$work/threads-before" "$work/threads-after")
awk -v t0="$ticks_before" -v t1="$ticks_after" -v wake="$(echo "$per_thread" | awk '/^TOTAL/ { print $2 }')" \
    -v hz="$hz" -v n="$seconds" -v rss="$rss_kb" -v th="$threads" 'BEGIN {
    printf "idle period               %d s (%d threads)\n", n, th
    printf "wake-ups                  %.2f per second (goal: none of our own)\n", wake
    printf "CPU while idle            %.3f %% (goal: below 0.1 %%)\n", (t1 - t0) / hz / n * 100
    printf "resident memory           %.1f MB (goal: at most 60 MB)\n", rss / 1024
}'
echo "wake-ups by thread:"
echo "$per_thread" | grep -v '^TOTAL'
if [ -n "$tone" ]; then
    echo "trigger to start tone     $(( (tone - start) / 1000000 )) ms (goal: at most 150 ms)"
else
    echo "trigger to start tone     no tone reached the sound server"
    tail -5 "$work/home/.local/state/tavlo/Tavlo.log"
fi
