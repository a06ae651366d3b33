#!/bin/sh
# Builds and runs every test suite: native, AddressSanitizer with
# UndefinedBehaviorSanitizer, ThreadSanitizer, the fuzzers, and the Windows
# build under Wine, then the packages. Installs what is missing first. Every
# suite runs even when an earlier one fails; the exit status says whether all
# passed.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
jobs=$(nproc)

"$root/scripts/install-deps.sh" test

failed=""

# suite NAME CTEST-ARGS -- CMAKE-ARGS...
# Configures and builds one build folder, then runs its tests; the full
# CTest log goes to build/NAME.test.log and failures are printed in full.
suite() {
    name=$1
    ctest_args=$2
    shift 3
    started=$(date +%s)
    echo "== $name: build"
    if ! cmake -S "$root" -B "$build/$name" "$@" >"$build/$name.configure.log" 2>&1; then
        cat "$build/$name.configure.log"
        failed="$failed $name(configure)"
        return
    fi
    if ! cmake --build "$build/$name" -j"$jobs" >"$build/$name.build.log" 2>&1; then
        grep -E -B2 -A8 "error|Error" "$build/$name.build.log" | head -100
        failed="$failed $name(build)"
        return
    fi
    echo "== $name: test (built in $(($(date +%s) - started)) s)"
    started=$(date +%s)
    # A suite that registers no test is an error, not a pass. On success the
    # summary is printed from CTest's "tests passed" line on (label times may
    # follow it).
    # shellcheck disable=SC2086
    if ctest --test-dir "$build/$name" -j"$jobs" --output-on-failure --no-tests=error $ctest_args \
        >"$build/$name.test.log" 2>&1; then
        sed -n '/^[0-9]*% tests passed/,$p' "$build/$name.test.log"
    else
        grep -v -E "^ *Start |Test +#[0-9]+: .* Passed" "$build/$name.test.log"
        failed="$failed $name"
    fi
    echo "== $name: tests took $(($(date +%s) - started)) s"
}

mkdir -p "$build"

# The link soak runs apart from the native suite, below.
suite native "-LE soak" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_BUILD_BENCH=ON

# A day's worth of link cycles (7200 on the device's timings) on shortened
# timings takes a quarter of an hour but hardly any processor time, so it
# runs in the background while the other suites build and run.
soak_binary="$build/native/tests/serial/uart_observer_soak_tests"
soak_pid=""
if [ -x "$soak_binary" ]; then
    echo "== soak: a day of link cycles, in the background"
    QUORVANE_SOAK_CYCLES=7200 "$soak_binary" >"$build/soak.test.log" 2>&1 &
    soak_pid=$!
fi

# The sanitizer builds run the soak for fewer cycles and leave out the test
# that needs an optimised build (label slow).
export QUORVANE_SOAK_CYCLES=200
suite asan "-LE slow" -- -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=address,undefined

suite tsan "-LE slow" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_SANITIZE=thread
unset QUORVANE_SOAK_CYCLES

# libFuzzer harnesses under AddressSanitizer and UndefinedBehaviorSanitizer,
# about 30 s each; only they are built in this folder.
echo "== fuzz: build"
if CC=clang CXX=clang++ cmake -S "$root" -B "$build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUORVANE_BUILD_FUZZERS=ON -DQUORVANE_SANITIZE=fuzzer-no-link,address,undefined \
        >"$build/fuzz.configure.log" 2>&1 &&
    cmake --build "$build/fuzz" -j"$jobs" --target fuzzers >"$build/fuzz.build.log" 2>&1; then
    "$root/scripts/run-fuzzers.sh" "$build/fuzz" 30 || failed="$failed fuzz"
else
    tail -n 40 "$build/fuzz.configure.log" "$build/fuzz.build.log" 2>/dev/null
    failed="$failed fuzz(build)"
fi

echo "== windows: dependencies from Debian's source packages"
if "$root/scripts/build-windows-deps.sh" "$build/windows-deps" "$build/windows-deps/prefix"; then
    suite windows "" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_PREFIX_PATH="$build/windows-deps/prefix" \
        -DQUORVANE_HOST_TOOLS_DIR="$build/native"
    # The Windows tests keep a persistent wineserver (see wine-run.sh): end it
    # and Wine's background programs so that nothing is left running (the
    # prefix is the one cmake/WineEmulator.cmake names).
    "$root/scripts/wine-run.sh" "$build/windows/wineprefix" --stop || true
else
    failed="$failed windows(dependencies)"
fi

# The packages users download, made from the native and Windows builds and
# tested as unpacked; they need both builds.
case "$failed" in
    *"native("* | *"windows("*) echo "== packages: skipped, a build they are made from failed" ;;
    *) "$root/scripts/check-packages.sh" "$build/native" "$build/windows" || failed="$failed packages" ;;
esac

if [ -n "$soak_pid" ]; then
    echo "== soak: waiting for the day of link cycles"
    if wait "$soak_pid"; then
        grep "^soak:" "$build/soak.test.log"
    else
        cat "$build/soak.test.log"
        failed="$failed soak"
    fi
fi

if [ -n "$failed" ]; then
    echo "== FAILED:$failed"
    exit 1
fi
echo "== all test suites passed"
