#!/bin/bash
# bench/windows_view_cost.sh [ROUNDS]: what watching costs a Windows program,
# in alternating rounds (ROUNDS, default 5) of four ways to run it: bare,
# under the Windows view through eBPF (root only; left out otherwise), under
# the Windows view through ptrace, and under the system view through ptrace.
# Two programs: the probe's --files 2000 workload (opening, reading and
# closing 2,000 files; the probe's own time of it, and the whole command's),
# and notepad's start (the time to its window, under Xvfb). Runs in a Wine
# prefix of its own under /tmp, started first; prints one line per run and
# the medians. Needs the win64 build's probe, and the hook: TALVEK_HOOK, else
# the host build's (sanitized: slower); an optimized one:
#   cmake -S . -B build/host-release -DCMAKE_BUILD_TYPE=Release -DTALVEK_SANITIZE=OFF
#   cmake --build build/host-release --target talvek-hook
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
hook=${TALVEK_HOOK:-$root/build/host/hook/talvek-hook}
probe=$root/build/win64/tests/wine_probe.exe
wine=/usr/lib/wine/wine64
export WINEDEBUG=-all WINEPREFIX=/tmp/talvek-bench-prefix
tmp=$(mktemp -d /tmp/talvek-bench-XXXXXX)
display=:$((90 + RANDOM % 100))
Xvfb $display -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
trap 'wineserver -k 2>/dev/null; kill $xvfb 2>/dev/null; rm -rf "$tmp"' EXIT
[ -d "$WINEPREFIX" ] || $wine wineboot -i >/dev/null 2>&1
wineserver -p && $wine cmd /c exit >/dev/null 2>&1 # up, outside the watched trees

ways=(bare)
"$hook" --view windows --backend ebpf --out /dev/null -- true 2>/dev/null && ways+=(windows-ebpf)
ways+=(windows-ptrace system-ptrace)
under() { # the hook's arguments of a way, or none
    case $1 in
    windows-*) echo "$hook --view windows --backend ${1#windows-} --out $tmp/trace --" ;;
    system-*) echo "$hook --view system --backend ${1#system-} --out $tmp/trace --" ;;
    esac
}
now() { date +%s.%N; }

notepad_start() { # the seconds from the start to notepad's window, or "none"
    local start end=
    start=$(now)
    # shellcheck disable=SC2046 # the hook's arguments split as written
    $(under "$1") $wine notepad.exe >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 1000); do
        xdotool search --name Notepad >/dev/null 2>&1 && end=$(now) && break
        sleep 0.02
    done
    # Ended from outside: a traced process's memory is the tracer's alone, so
    # taskkill, which reads it through the wineserver, cannot find it.
    pkill -KILL -f 'system32\\notepad.exe'
    wait $pid
    [ -n "$end" ] && echo "$end - $start" | bc || echo none
}

declare -A files whole start
for round in $(seq "$rounds"); do
    for way in "${ways[@]}"; do
        t0=$(now)
        # shellcheck disable=SC2046
        out=$($(under "$way") $wine "$probe" --files 2000 'C:\tvk-bench' 2>/dev/null)
        t1=$(now)
        ms=$(tr -d '\r' <<<"$out" | sed -n 's/^files=2000 ms=//p')
        s=$(echo "$t1 - $t0" | bc)
        n=$(notepad_start "$way")
        echo "round $round $way: files ${ms} ms, whole ${s} s; notepad's window ${n} s"
        files[$way]+="$ms "
        whole[$way]+="$s "
        start[$way]+="$n "
    done
done
median() { # of the numbers; "(N without)" for runs that gave none
    tr ' ' '\n' | sed '/^$/d' | sort -g | awk '/^[0-9.]+$/ {v[++n] = $1; next} {none++}
        END {printf "%s%s", n ? (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2) : "-",
             none ? " (" none " without)" : ""}'
}
echo "medians over $rounds rounds (load $(cut -d' ' -f1-3 /proc/loadavg)):"
for way in "${ways[@]}"; do
    echo "  $way: files $(median <<<"${files[$way]}") ms, whole $(median <<<"${whole[$way]}") s, notepad's window $(median <<<"${start[$way]}") s"
done
