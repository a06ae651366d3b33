#!/bin/sh
# Runs a cross-built Windows program under Wine in a private prefix.
#
# usage: wine-run.sh WINEPREFIX PROGRAM.exe [ARGS...]
#        wine-run.sh WINEPREFIX --stop   (ends the prefix's wineserver and programs)
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
# Wine names Unix files in the character set of the locale: without a UTF-8
# locale (a bare chroot, a service's empty environment) no name outside ASCII
# can be made. C.UTF-8 is on every Debian 12.
case "$(locale charmap 2>/dev/null)" in
    UTF-8) ;;
    *) LC_ALL=C.UTF-8 && export LC_ALL ;;
esac

find_wine_tool() {
    command -v "$1" 2>/dev/null || { [ -x "/usr/lib/wine/$1" ] && echo "/usr/lib/wine/$1"; } ||
        { echo "wine-run.sh: $1 not found (install wine64)" >&2; exit 127; }
}
wine64=$(find_wine_tool wine64)
wineserver=$(find_wine_tool wineserver)

if [ "${1:-}" = --stop ]; then
    # wineserver -k fails when no server runs for the prefix: nothing to stop.
    if [ -d "$WINEPREFIX" ]; then
        "$wineserver" -k >/dev/null 2>&1 || true
    fi
    exit 0
fi

# The prefix folder must exist before its wineserver can start; an empty one
# is filled in by wineboot. Plain wineboot, not --init: Wine starts its own
# "wineboot --init" with the first program of a server, and a second one
# started a second set of background services.
mkdir -p "$WINEPREFIX"
# shellcheck disable=SC2016 # the inner script expands its own arguments
flock -o "$WINEPREFIX.lock" sh -c '
    if "$2" -p300 </dev/null >/dev/null 2>&1; then
        "$1" wineboot </dev/null >/dev/null 2>&1
    fi
' prepare-prefix "$wine64" "$wineserver" ||
    # Never silent: the program is started all the same (Wine sets up a
    # prefix itself), but a run that then fails says where it began.
    echo "wine-run.sh: preparing $WINEPREFIX failed with status $?; starting the program all the same" >&2

exec "$wine64" "$@"
