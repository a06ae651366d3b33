#!/bin/sh
# Builds and runs every test suite: native, AddressSanitizer with
# UndefinedBehaviorSanitizer, ThreadSanitizer, the fuzzers, and the Windows
# build under Wine, then the packages. Installs what is missing first. Every
# suite runs even when an earlier one fails; the exit status says whether all
# passed.
#
# The suites' end-to-end tests all listen on the device's fixed upload port,
# so the suites are tested one after another; their time goes to waiting on
# the device and the clock, not to the processor. The later suites are
# therefore built (and the fuzzers run) in the background while the earlier
# ones are tested.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
jobs=$(nproc)

"$root/scripts/install-deps.sh" test

failed=""

# build_suite NAME CMAKE-ARGS...: configures and builds one build folder, and
# then writes build/NAME.built: "ok SECONDS", or the step that failed
# (configure, build; dependencies when the libraries it needs, logged in
# build/NAME-deps.log, could not be built).
build_suite() {
    name=$1
    shift
    started=$(date +%s)
    if ! cmake -S "$root" -B "$build/$name" "$@" >"$build/$name.configure.log" 2>&1; then
        echo configure >"$build/$name.built"
    elif ! cmake --build "$build/$name" -j"$jobs" >"$build/$name.build.log" 2>&1; then
        echo build >"$build/$name.built"
    else
        echo "ok $(($(date +%s) - started))" >"$build/$name.built"
    fi
}

# await NAME: waits until build/NAME.built is written and prints it; "lost"
# when the background builds ended without writing it.
await() {
    while [ ! -e "$build/$1.built" ]; do
        if [ -n "${builder_pid:-}" ] && ! kill -0 "$builder_pid" 2>/dev/null; then
            [ -e "$build/$1.built" ] || echo lost >"$build/$1.built"
            break
        fi
        sleep 1
    done
    cat "$build/$1.built"
}

# test_suite NAME CTEST-ARGS: once NAME is built, runs its tests; the full
# CTest log goes to build/NAME.test.log and failures are printed in full.
test_suite() {
    name=$1
    ctest_args=$2
    state=$(await "$name")
    case "$state" in
        ok*) echo "== $name: test (built in ${state#ok } s)" ;;
        configure)
            cat "$build/$name.configure.log"
            failed="$failed $name(configure)"
            return
            ;;
        build)
            grep -E -B2 -A8 "error|Error" "$build/$name.build.log" | head -100
            failed="$failed $name(build)"
            return
            ;;
        dependencies)
            cat "$build/$name-deps.log"
            failed="$failed $name(dependencies)"
            return
            ;;
        *)
            echo "== $name: not built: $state"
            failed="$failed $name(build)"
            return
            ;;
    esac
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

# libFuzzer harnesses under AddressSanitizer and UndefinedBehaviorSanitizer,
# about 30 s each; only they are built in this folder. Their report goes to
# build/fuzz.log and the outcome to build/fuzz.built: ok, failed, or build.
fuzz() {
    if CC=clang CXX=clang++ cmake -S "$root" -B "$build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DQUORVANE_BUILD_FUZZERS=ON -DQUORVANE_SANITIZE=fuzzer-no-link,address,undefined \
            >"$build/fuzz.configure.log" 2>&1 &&
        cmake --build "$build/fuzz" -j"$jobs" --target fuzzers >"$build/fuzz.build.log" 2>&1; then
        if "$root/scripts/run-fuzzers.sh" "$build/fuzz" 30 >"$build/fuzz.log" 2>&1; then
            echo ok >"$build/fuzz.built"
        else
            echo failed >"$build/fuzz.built"
        fi
    else
        tail -n 40 "$build/fuzz.configure.log" "$build/fuzz.build.log" >"$build/fuzz.log" 2>/dev/null || true
        echo build >"$build/fuzz.built"
    fi
}

# Everything built after the native suite, in the order it is tested. The
# Windows build takes its host tools from the native one.
build_the_rest() {
    build_suite asan -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=address,undefined
    build_suite tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_SANITIZE=thread
    fuzz
    if "$root/scripts/build-windows-deps.sh" "$build/windows-deps" "$build/windows-deps/prefix" \
        >"$build/windows-deps.log" 2>&1; then
        build_suite windows -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
            -DCMAKE_PREFIX_PATH="$build/windows-deps/prefix" \
            -DQUORVANE_HOST_TOOLS_DIR="$build/native"
    else
        echo dependencies >"$build/windows.built"
    fi
}

mkdir -p "$build"
rm -f "$build"/*.built

echo "== native: build"
build_suite native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_BUILD_BENCH=ON

echo "== asan, tsan, fuzz, windows: building in the background while the suites before them are tested"
build_the_rest &
builder_pid=$!

# The link soak runs apart from the native suite, below.
test_suite native "-LE soak"

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
test_suite asan "-LE slow"
test_suite tsan "-LE slow"
unset QUORVANE_SOAK_CYCLES

echo "== fuzz"
fuzz_state=$(await fuzz)
cat "$build/fuzz.log"
case "$fuzz_state" in
    ok) ;;
    build) failed="$failed fuzz(build)" ;;
    *) failed="$failed fuzz" ;;
esac

echo "== windows: its libraries built from Debian's source packages"
test_suite windows ""
# The Windows tests keep a persistent wineserver (see wine-run.sh): end it and
# Wine's background programs so that nothing is left running (the prefix is
# the one cmake/WineEmulator.cmake names; without one there is nothing to end).
"$root/scripts/wine-run.sh" "$build/windows/wineprefix" --stop || true
wait "$builder_pid" || true

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
