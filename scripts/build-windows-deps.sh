#!/bin/sh
# Builds the Windows (MinGW-w64) copies of cJSON and GoogleTest from Debian's
# source packages into PREFIX. Everything, the apt state included, stays in
# WORK; the machine's own apt configuration is only read.
#
# usage: build-windows-deps.sh WORK PREFIX
set -eu

work=$1
prefix=$2
here=$(cd "$(dirname "$0")" && pwd)
toolchain="$here/../cmake/mingw-w64-x86_64.cmake"

if [ -f "$prefix/.complete" ]; then
    exit 0
fi

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
apt_private update >/dev/null
(cd "$work/src" && rm -rf ./* && apt_private source --download-only cjson googletest >/dev/null)
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

touch "$prefix/.complete"
