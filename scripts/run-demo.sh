#!/bin/sh
# Builds quorvane-capture, its converter and the device emulator, then runs
# one whole recording against the emulator in a fresh output folder and shows
# what was produced. Installs what is missing first. The emulator sends its
# test signal (a tone, silence, a clipped tone and a copy of channel 1), so
# the report after the conversion shows what it flags.
#
# ./scripts/run-demo.sh --station N runs a station of N devices instead: one
# emulator plays them all, each on a pty of its own with an address of its own.
set -eu

devices=1
if [ "${1:-}" = "--station" ]; then
    devices=${2:?"--station needs the number of devices (2 to 16)"}
fi

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/demo"
record_seconds=5

"$root/scripts/install-deps.sh" demo

echo "== building"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target quorvane-capture Pcm2Wav quorvane-device-emulator >/dev/null

output="$root/build/demo-runs/$(date +%Y%m%d-%H%M%S)"
mkdir -p "$output"
cd "$output"

echo "== starting the device emulator (test signal: a tone, silence, a clipped tone, a copy of channel 1)"
"$build/bin/quorvane-device-emulator" --time-limit $((record_seconds + 60)) --upload-signal test \
    --devices "$devices" >emulator.out 2>emulator.log &
emulator=$!
trap 'kill $emulator 2>/dev/null || true' EXIT
# The background shell may not have made emulator.out yet.
while [ "$(cat emulator.out 2>/dev/null | wc -l)" -lt "$devices" ] && kill -0 $emulator 2>/dev/null; do
    sleep 0.1
done
device=$(head -n 1 emulator.out)
if [ -z "$device" ]; then
    cat emulator.log >&2
    exit 1
fi
if [ "$devices" -gt 1 ]; then
    ports=$(head -n "$devices" emulator.out | tr '\n' ' ')
    echo "== quorvane-capture --station DemoNet \"demo pass\" $record_seconds $ports  (in $output)"
    status=0
    # shellcheck disable=SC2086  # one argument a port
    "$build/bin/quorvane-capture" --station DemoNet "demo pass" "$record_seconds" $ports || status=$?
    echo "== quorvane-capture exited with status $status; each device's files are in a folder of its own:"
    ls -R "$output" | sed 's/^/  /'
    echo "== station.json and station.xml (JUnit) hold every device's outcome"
    exit $status
fi

echo "== quorvane-capture DemoNet \"demo pass\" $device $record_seconds 1   (in $output)"
status=0
"$build/bin/quorvane-capture" DemoNet "demo pass" "$device" "$record_seconds" 1 || status=$?
echo "== quorvane-capture exited with status $status; the output folder holds:"
for file in *; do
    size=$(wc -c <"$file")
    case "$file" in
        *.wav) echo "$file $size" | awk '{ printf "  %-16s %9d bytes  %.2f s of 16 kHz mono audio\n", $1, $2, ($2 - 44) / 32000 }' ;;
        *) printf '  %-16s %9d bytes\n' "$file" "$size" ;;
    esac
done
echo "== record.json holds the run's facts and each channel's levels and verdict;"
echo "   open $output/record.svg in a browser to see the four channels"
echo "== the programs are in $build/bin: quorvane-capture, Pcm2Wav, quorvane-device-emulator;"
echo "   put them on the PATH with: sudo cmake --install $build   (into /usr/local/bin)"
exit $status
