#!/bin/sh
# Builds quorvane-capture and runs it once against the bundled device
# emulator. Installs what is missing first.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/demo"

"$root/scripts/install-deps.sh" demo

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
echo "Built in $build. The whole run against the device emulator is not available yet."
