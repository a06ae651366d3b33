#!/bin/sh
# Installs the Debian packages that are missing for building and running the
# tool (demo), for cross-building the Windows programs (windows) or for
# running every test (test). Uses sudo when not root.
#
# usage: install-deps.sh demo|windows|test
set -eu

# The Debian package's dependencies are computed by dpkg-shlibdeps, which CPack
# runs only where the file utility is (a bare Debian 12 has none).
build_packages="g++ cmake make libcjson-dev iproute2"
windows_packages="g++-mingw-w64-x86-64-posix dpkg-dev xz-utils"
test_packages="googletest libgtest-dev libgmock-dev libbenchmark-dev python3 clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix wine64 dpkg-dev file xz-utils sox procps librsvg2-bin"

case "${1:-}" in
    demo) wanted=$build_packages ;;
    windows) wanted="$build_packages $windows_packages" ;;
    test) wanted="$build_packages $test_packages" ;;
    *) echo "usage: $0 demo|windows|test" >&2; exit 2 ;;
esac

missing=""
for package in $wanted; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "install-deps.sh: missing packages:$missing" >&2
    echo "install-deps.sh: run this as root, or install sudo, to install them" >&2
    exit 1
fi

# No questions asked; C.UTF-8, which every Debian 12 has, so that a LANG the
# machine lacks (ssh often passes one on) doesn't fill the output with perl's
# locale warnings; and on a freshly booted machine the daily apt jobs may hold
# the apt and dpkg locks for a while: wait for them rather than fail.
apt_get="env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 apt-get -q -o DPkg::Lock::Timeout=600"

echo "== installing:$missing"
# A failing update (one unreachable extra repository, say) need not stop the
# install: apt-get install below fails by itself if a package can't be had.
# shellcheck disable=SC2086
$as_root $apt_get update ||
    echo "install-deps.sh: apt-get update reported errors; trying the install anyway" >&2
# shellcheck disable=SC2086
$as_root $apt_get install -y --no-install-recommends $missing
