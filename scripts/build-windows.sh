#!/bin/sh
# Builds the Windows programs on Debian 12: quorvane-capture.exe and
# Pcm2Wav.exe, cross-compiled with MinGW-w64 (posix threads, static runtime),
# and the zip users download. Installs what is missing first; cJSON is built
# from Debian's source package inside build/windows-deps.
#
# usage: build-windows.sh [BUILD_FOLDER]   (default: build/windows-release)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/windows-release}
deps=$root/build/windows-deps

"$root/scripts/install-deps.sh" windows
"$root/scripts/build-windows-deps.sh" "$deps" "$deps/prefix"

echo "== building the Windows programs in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$deps/prefix" >/dev/null
cmake --build "$build" -j"$(nproc)" --target quorvane-capture Pcm2Wav >/dev/null
rm -rf "$build/packages"
(cd "$build" && cpack >/dev/null)
echo "== the programs are in $build/bin; the zip to give to Windows users:"
ls "$build"/packages/*.zip
