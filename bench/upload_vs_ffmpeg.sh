#!/bin/sh
# Uploads one hour of 4-channel audio (460.8 MB) over loopback to port 8888,
# through the recording server and the converter, then through ffmpeg doing
# the same job, and prints wall time, throughput and peak memory of both.
# Installs ffmpeg when it is missing (with sudo when not root), builds the
# benchmark in the build folder given (default build/native) and removes the
# recordings afterwards.
#
# usage: bench/upload_vs_ffmpeg.sh [BUILD_FOLDER] [SECONDS_OF_AUDIO]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
seconds=${2:-3600}

if ! command -v ffmpeg >/dev/null 2>&1; then
    if [ "$(id -u)" -eq 0 ]; then as_root=""; else as_root="sudo"; fi
    $as_root apt-get update -q
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends ffmpeg
fi

cmake -S "$root" -B "$build" -DQUORVANE_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target upload_bench -j"$(nproc)" >/dev/null

work="$build/upload-bench-work"
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
df -h "$build" | tail -n 1 | awk '{print "free space where the recordings go: " $4}'
"$build/bench/upload_bench" "$work" "$seconds" 2>"$build/upload-bench.log"
