#!/bin/sh
# Builds the Windows (MinGW-w64) copies of cJSON and GoogleTest from Debian's
# source packages into PREFIX. Everything, the apt state included, stays in
# WORK; the machine's own apt configuration is only read.
#
# usage: build-windows-deps.sh WORK PREFIX
set -eu

# A locale every Debian 12 has: a LANG the machine lacks would make apt and
# dpkg-source (perl) print locale warnings.
LC_ALL=C.UTF-8
export LC_ALL

# Made absolute: apt reads relative paths of its configuration from /etc/apt.
mkdir -p "$1" "$2"
work=$(cd "$1" && pwd)
prefix=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
toolchain="$here/../cmake/mingw-w64-x86_64.cmake"

# The build is redone when this script or the toolchain file has changed since
# the copies in PREFIX were made.
stamp=$(cat "$0" "$toolchain" | cksum)
if [ -f "$prefix/.complete" ] && [ "$(cat "$prefix/.complete")" = "$stamp" ]; then
    exit 0
fi
rm -rf "$prefix" "$work"/build-*

apt_dir="$work/apt"
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$work/src"

# Source entries mirroring the machine's binary entries, in both the one-line
# and the deb822 formats.
: > "$apt_dir/sources.list"
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$list" >> "$apt_dir/sources.list"
done
for sources in /etc/apt/sources.list.d/*.sources; do
    [ -f "$sources" ] && sed 's/^Types:.*/Types: deb-src/' "$sources" > "$apt_dir/sources.list.d/$(basename "$sources")"
done

apt_private() {
    apt-get -q \
        -o Dir::Etc::SourceList="$apt_dir/sources.list" \
        -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
        -o Dir::State::Lists="$apt_dir/lists" \
        -o Dir::Cache="$apt_dir/cache" \
        -o Debug::NoLocking=1 \
        -o APT::Sandbox::User=root \
        "$@"
}

echo "== fetching Debian source packages of cJSON and GoogleTest"
# An extra repository of the machine that publishes no sources makes update
# fail though Debian's own entries worked; only a failing download below is
# an error, shown with the update's log.
apt_private update >"$work/apt-update.log" 2>&1 ||
    echo "build-windows-deps.sh: apt-get update reported errors (see $work/apt-update.log)" >&2
if ! (cd "$work/src" && rm -rf ./* && apt_private source --download-only cjson googletest >/dev/null); then
    cat "$work/apt-update.log" >&2
    exit 1
fi
(cd "$work/src" && for dsc in *.dsc; do dpkg-source --no-check -x "$dsc" >/dev/null; done)

cross_build() {
    name=$1
    source_dir=$2
    shift 2
    echo "== building $name for Windows"
    cmake -S "$source_dir" -B "$work/build-$name" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF \
        -Wno-dev -Wno-deprecated "$@" >/dev/null
    cmake --build "$work/build-$name" -j"$(nproc)" >/dev/null
    cmake --install "$work/build-$name" >/dev/null
    mkdir -p "$prefix/share/licenses/$name"
    cp "$source_dir/LICENSE" "$prefix/share/licenses/$name/"
}

cross_build cjson "$(ls -d "$work"/src/cjson-*/)" \
    -DENABLE_CJSON_TEST=OFF -DENABLE_CJSON_UTILS=OFF -DENABLE_TARGET_EXPORT=ON \
    -DENABLE_CUSTOM_COMPILER_FLAGS=OFF
cross_build googletest "$(ls -d "$work"/src/googletest-*/)" \
    -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON

echo "$stamp" > "$prefix/.complete"
