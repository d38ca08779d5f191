#!/bin/bash
# bench/filter_storm.sh OUT SECONDS [HOOK OPTIONS...] (root, eBPF): the whole
# machine under talvek-hook (this reader left out), read at about the shown
# list's pace (one line per 11 ms), while stat_storm runs SECONDS; 10 s after
# the storm the hook is stopped. Prints how many of the storm's failed stats
# arrived and the hook's counts. Needs build/bench-hook (scripts/bench hook).
set -u
out=$1
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
hook=$root/build/bench-hook/hook/talvek-hook
storm=$root/build/bench-hook/bench/stat_storm
rm -f "$out.fifo" "$out.tick"
mkfifo "$out.fifo" "$out.tick"
# The pause is a read with a timeout: a reader that started a program per
# line would add failed look-ups of its own.
(exec 9<>"$out.tick"; while IFS= read -r l; do printf '%s\n' "$l"; read -t 0.011 -u 9 _; done) \
    <"$out.fifo" >"$out.rows" &
reader=$!
"$hook" --all --exclude-pid $reader --out "$out.fifo" "$@" 2>"$out.err" &
hook_pid=$!
sleep 3
"$storm" "$seconds" >"$out.storm"
sleep 10
kill -INT $hook_pid
wait $hook_pid
wait $reader
rm -f "$out.fifo" "$out.tick"
echo "storm: $(cat "$out.storm")"
echo "rows: $(grep -c . "$out.rows"), of the storm: $(grep -c 'storm-' "$out.rows")"
cat "$out.err"
