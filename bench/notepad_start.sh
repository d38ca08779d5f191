#!/bin/bash
# bench/notepad_start.sh PREFIX [RUN]: notepad's start under the live monitor.
# Runs RUN (default scripts/run) --live with this script's inner part as the
# command, which starts wine64 notepad.exe in PREFIX (a 64-bit prefix made
# with wineboot -i beforehand), waits until its window has appeared, 2 s
# more, and ends it. The window is looked for (xdotool) from here, outside
# the hook's tree, so that the looking is not watched. Prints the time from
# the command's start to the window, after the run's own counts.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = --inner ]; then
    mark=$2
    prefix=$3
    echo "$(date +%s.%N) $DISPLAY" >"$mark.start"
    WINEPREFIX=$prefix /usr/lib/wine/wine64 notepad.exe &
    notepad=$!
    exec 9<>"$mark.wait"
    for _ in $(seq 200); do [ -e "$mark.window" ] && break; read -t 0.25 -u 9 _; done
    read -t 2 -u 9 _
    kill $notepad
    WINEPREFIX=$prefix wineserver -k
    exit 0
fi
prefix=$1
run=${2:-$root/scripts/run}
mark=$(mktemp -u /tmp/notepad-start.XXXXXX)
mkfifo "$mark.wait"
(
    until [ -e "$mark.start" ]; do sleep 0.1; done
    read -r start display <"$mark.start"
    for _ in $(seq 600); do
        if DISPLAY=$display xdotool search --name Notepad >/dev/null 2>&1; then
            echo "$(date +%s.%N) - $start" | bc >"$mark.window"
            exit 0
        fi
        sleep 0.1
    done
) &
poller=$!
WINEPREFIX=$prefix TALVEK_RUN_SECONDS=60 "$run" --live -- "$root/bench/notepad_start.sh" --inner "$mark" "$prefix"
kill $poller 2>/dev/null
if [ -e "$mark.window" ]; then
    echo "notepad's window after $(cat "$mark.window") s"
else
    echo "notepad's window did not appear"
fi
rm -f "$mark.start" "$mark.window" "$mark.wait"
