#!/bin/sh
# Installs the Debian packages that are missing for building and running the
# tool (demo) or for running every test (test). Uses sudo when not root.
#
# usage: install-deps.sh demo|test
set -eu

build_packages="g++ cmake make libcjson-dev iproute2"
test_packages="googletest libgtest-dev libgmock-dev libbenchmark-dev python3 clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix wine64 dpkg-dev xz-utils sox procps"

case "${1:-}" in
    demo) wanted=$build_packages ;;
    test) wanted="$build_packages $test_packages" ;;
    *) echo "usage: $0 demo|test" >&2; exit 2 ;;
esac

missing=""
for package in $wanted; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
else
    as_root="sudo"
fi
echo "== installing:$missing"
$as_root apt-get update -q
# shellcheck disable=SC2086
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
