#!/bin/sh
# Runs a cross-built Windows program under Wine in a private prefix.
#
# usage: wine-run.sh WINEPREFIX PROGRAM.exe [ARGS...]
#
# The prefix is created once (under a lock, since CTest starts tests in
# parallel), and one persistent wineserver is kept for it: that cuts the start
# of each test program from about 2.5 s to a few hundred milliseconds. Wine's
# background services start with the first program of a server and inherit its
# output; they are started here with /dev/null so that a test's output pipe is
# closed when the test ends.
set -eu

WINEPREFIX=$1
shift
export WINEPREFIX WINEDEBUG=-all

find_wine_tool() {
    command -v "$1" 2>/dev/null || { [ -x "/usr/lib/wine/$1" ] && echo "/usr/lib/wine/$1"; } ||
        { echo "wine-run.sh: $1 not found (install wine64)" >&2; exit 127; }
}
wine64=$(find_wine_tool wine64)
wineserver=$(find_wine_tool wineserver)

mkdir -p "$(dirname "$WINEPREFIX")"
flock -o "$WINEPREFIX.lock" sh -c '
    if "$2" -p300 </dev/null >/dev/null 2>&1; then
        "$1" wineboot --init </dev/null >/dev/null 2>&1
    fi
' prepare-prefix "$wine64" "$wineserver"

exec "$wine64" "$@"
