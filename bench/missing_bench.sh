#!/bin/bash
# bench/missing_bench.sh RENDER [LINES [SCALE]]: talvek-render --missing on a
# trace of LINES call lines (default 1,000,000) of 8 processes: opens, reads,
# writes and closes of 50,000 data files, failed attribute queries and
# searches of 20,000 names each, a DLL search path (a miss in the program's
# folder, then found in the system folder) over 5,000 DLLs, failed finds in
# 1,000 folders; SCALE (default 1) multiplies the names.
# Prints the time and peak memory (/usr/bin/time -v) of reading the trace
# with wc -l, of its rows (talvek-render > /dev/null) and of --missing.
set -eu
render=$1
lines=${2:-1000000}
scale=${3:-1}
trace=$(mktemp /tmp/missing-bench-XXXXXX.trace)
trap 'rm -f "$trace"' EXIT
awk -v n="$lines" -v s="$scale" 'BEGIN {
    print "# view=windows"
    for (i = 0; i < n; ++i) {
        p = "pid=" (100 + i % 8) " comm=app" (i % 8) ".exe "
        k = i % 10
        if (k == 0) print p "func=36 drive=3 sfn=0x10 path1=C:\\app\\data\\f" (i % (50000 * s)) ".dat"
        else if (k == 1) print p "func=0 drive=3 sfn=0x10 length=0x200 pos=0x400"
        else if (k == 2) print p "func=11 drive=3 sfn=0x10"
        else if (k == 3) print p "func=33 drive=3 result=2 path1=C:\\app\\cfg\\c" (i % (20000 * s)) ".ini"
        else if (k == 4) print p "func=36 drive=26 result=2 path1=Z:\\tmp\\lib" (i % (5000 * s)) ".dll"
        else if (k == 5) print p "func=36 drive=3 sfn=0x11 path1=C:\\windows\\system32\\lib" ((i - 1) % (5000 * s)) ".dll"
        else if (k == 6) print p "func=44 drive=3 result=3 path1=C:\\app\\d" (i % (1000 * s)) "\\*.zzz"
        else if (k == 7) print p "func=1 drive=3 sfn=0x11 length=0x80 pos=0"
        else if (k == 8) print p "func=38 drive=3 result=2 path1=C:\\app\\s" (i % (20000 * s)) ".txt"
        else print p "func=11 drive=3 sfn=0x11"
    }
    print "# end of trace"
}' >"$trace"
echo "trace: $(wc -l <"$trace") lines, $(du -m "$trace" | cut -f1) MB; load $(cut -d' ' -f1-3 /proc/loadavg)"
measure() { # measure LABEL COMMAND...: elapsed seconds and peak memory
    /usr/bin/time -v "$@" >/dev/null 2>"$trace.time" || true
    printf '%-22s %s s, %s KB peak\n' "$label" \
        "$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$trace.time")" \
        "$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$trace.time")"
    rm -f "$trace.time"
}
label="wc -l" measure wc -l "$trace"
label="rows" measure "$render" "$trace"
label="--missing" measure "$render" --missing "$trace"
label="--missing --all" measure "$render" --missing --all "$trace"
"$render" --missing --limit 3 "$trace"
