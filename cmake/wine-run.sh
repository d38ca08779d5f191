#!/usr/bin/env bash
# wine-run.sh 32|64 PROGRAM [ARGS...]: runs a Windows program under the
# build's private Wine prefix: Korean code page (949), no display ("null"
# graphics driver), Wine's own diagnostics silenced. The prefix is created on
# first use.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bits=$1
shift
export WINEPREFIX=${TALVEK_WINEPREFIX:-$here/../build/win$bits/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
"$here/../scripts/wine-prefix" "$WINEPREFIX" null "$bits" 2>/dev/null || exit 125
if [ "$bits" = 64 ]; then
    exec env LC_ALL=ko_KR.UTF-8 /usr/lib/wine/wine64 "$@"
fi
exec env LC_ALL=ko_KR.UTF-8 wine "$@"
