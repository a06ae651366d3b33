#!/bin/sh
# Builds and runs every test suite: native, AddressSanitizer with
# UndefinedBehaviorSanitizer, ThreadSanitizer, and the Windows build under
# Wine. Installs what is missing first. Every suite runs even when an earlier
# one fails; the exit status says whether all passed.
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
    echo "== $name: test"
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
}

mkdir -p "$build"

suite native "" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_BUILD_BENCH=ON

suite asan "" -- -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=address,undefined

suite tsan "" -- -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_SANITIZE=thread

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

if [ -n "$failed" ]; then
    echo "== FAILED:$failed"
    exit 1
fi
echo "== all test suites passed"
