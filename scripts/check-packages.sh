#!/bin/sh
# Makes the packages users download, with cpack, from the native and the
# Windows build, and tests them as a user gets them: each is unpacked into a
# fresh folder (the Debian package with dpkg-deb) and checked file by file,
# and its programs are run from there by the end-to-end tests (--help,
# --version and one whole run against the device emulator; the Windows ones
# under Wine). So what is published is what was tested, not the build folder
# next to it.
#
# usage: check-packages.sh [NATIVE_BUILD WINDOWS_BUILD]
#        (default: build/native and build/windows, the folders test-all.sh builds)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "${1:-$root/build/native}" && pwd)
windows=$(cd "${2:-$root/build/windows}" && pwd)
# The prefix the Windows suite used (cmake/WineEmulator.cmake): it is ready,
# so no second prefix has to be made. Its wineserver is ended on the way out.
wine_prefix=$windows/wineprefix
e2e=$root/tests/e2e
started=$(date +%s)
# Listings and test logs; each is shown when its check fails.
work=$(mktemp -d)

problems=""
problem() {
    echo "check-packages.sh: $*" >&2
    problems="$problems x"
}

trap 'rm -rf "$work"; "$root/scripts/wine-run.sh" "$wine_prefix" --stop || true' EXIT

# run_cpack BUILD: makes BUILD's packages afresh in BUILD/packages.
run_cpack() {
    rm -rf "$1/packages"
    if ! (cd "$1" && cpack) >"$1/package.log" 2>&1; then
        cat "$1/package.log" >&2
        echo "check-packages.sh: cpack failed in $1" >&2
        return 1
    fi
}

# one_package BUILD SUFFIX: prints the path of the one package of that kind
# cpack made in BUILD, checked against its .sha256 file.
one_package() {
    set -- "$1"/packages/*."$2"
    if [ $# -ne 1 ] || [ ! -f "$1" ]; then
        echo "check-packages.sh: expected one .$2 package, found: $*" >&2
        return 1
    fi
    if ! (cd "$(dirname "$1")" && sha256sum --check --quiet "$(basename "$1").sha256" >&2); then
        echo "check-packages.sh: $1 does not match its .sha256 file" >&2
        return 1
    fi
    echo "$1"
}

# unpack PACKAGE FOLDER: FOLDER is emptied and the package unpacked into it.
unpack() {
    rm -rf "$2"
    mkdir -p "$2"
    (cd "$2" && cmake -E tar xf "$1")
}

# expect_files PACKAGE FILE...: the package holds exactly these files (below
# its top folder, which is named like the package), no more, no fewer.
expect_files() {
    package=$1
    shift
    top=$(basename "$package" | sed -E 's/\.(zip|tar\.gz)$//')
    printf "$top/%s\n" "$@" | sort >"$work/expected"
    cmake -E tar tf "$package" | grep -v '/$' | sort >"$work/listing"
    if ! diff -u "$work/expected" "$work/listing" >"$work/diff"; then
        problem "$(basename "$package") does not hold the expected files (- missing, + unexpected):"
        cat "$work/diff" >&2
    fi
}

# e2e NAME COMMAND...: runs end-to-end tests (COMMAND) against a packaged
# program; their log is shown when they fail.
e2e() {
    name=$1
    shift
    if ! "$@" >"$work/$name.log" 2>&1; then
        cat "$work/$name.log" >&2
        problem "end-to-end tests failed: $name"
    fi
}

information_tests="InformationRequests.test_help_explains_arguments_files_and_exit_statuses
    InformationRequests.test_version_is_one_line"
run_test=SuccessfulRuns.test_recording_is_stored_and_channels_1_2_4_converted

echo "== packages: cpack"
run_cpack "$native"
run_cpack "$windows"
tgz=$(one_package "$native" tar.gz)
deb=$(one_package "$native" deb)
zip=$(one_package "$windows" zip)
for package in "$tgz" "$deb" "$zip"; do
    echo "   $(basename "$package")  $(wc -c <"$package") bytes"
done

echo "== packages: Linux tar.gz, unpacked and run"
doc=share/doc/quorvane-capture
linux_programs="quorvane-capture Pcm2Wav quorvane-device-emulator"
expect_files "$tgz" bin/quorvane-capture bin/Pcm2Wav bin/quorvane-device-emulator $doc/README.md $doc/DEPENDENCIES.txt
unpack "$tgz" "$native/package-check"
linux=$native/package-check/$(basename "$tgz" .tar.gz)
cmp -s "$root/README.md" "$linux/$doc/README.md" || problem "the tar.gz's README.md is not the repository's"
# The shared libraries the programs need are exactly the ones DEPENDENCIES.txt
# names; nothing is looked for in a build folder; debug information stays out.
sed -n 's/^  \(lib[^ ]*\.so[^ ]*\) .*/\1/p' "$linux/$doc/DEPENDENCIES.txt" | sort -u >"$work/documented"
: >"$work/needed"
for program in $linux_programs; do
    binary=$linux/bin/$program
    [ -x "$binary" ] || problem "bin/$program is not executable"
    readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' >>"$work/needed"
    if readelf -d "$binary" | grep -q -E '\((RPATH|RUNPATH)\)'; then
        problem "bin/$program has a run path: $(readelf -d "$binary" | grep -E 'RPATH|RUNPATH')"
    fi
    if readelf -S "$binary" | grep -q '\.debug_info'; then
        problem "bin/$program is not stripped"
    fi
done
sort -u -o "$work/needed" "$work/needed"
if ! diff -u "$work/documented" "$work/needed" >&2; then
    problem "DEPENDENCIES.txt (-) and the libraries the programs need (+) differ"
fi
# shellcheck disable=SC2086 # one test name a word
e2e linux-information python3 "$e2e/entry_point_test.py" --tool "$linux/bin/quorvane-capture" \
    --bin-dir "$native/bin" $information_tests
# Port 8888 is shared with every other user of this machine.
e2e linux-run flock /tmp/quorvane-tcp8888.lock python3 "$e2e/run_test.py" --tool "$linux/bin/quorvane-capture" \
    --bin-dir "$native/bin" "$run_test"

echo "== packages: Debian package, unpacked with dpkg-deb and run"
# The same files under /usr; its dependencies are what dpkg-shlibdeps found
# the programs to need, so apt installs libcjson1 with it.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort >"$work/deb-listing"
printf '%s\n' ./usr/bin/quorvane-capture ./usr/bin/Pcm2Wav ./usr/bin/quorvane-device-emulator \
    ./usr/$doc/README.md ./usr/$doc/DEPENDENCIES.txt | sort >"$work/deb-expected"
if ! diff -u "$work/deb-expected" "$work/deb-listing" >&2; then
    problem "$(basename "$deb") does not hold the expected files (- missing, + unexpected)"
fi
depends=$(dpkg-deb -f "$deb" Depends)
for library_package in libcjson1 libc6 libstdc++6 libgcc-s1; do
    case ", $depends" in
        *", $library_package "* | *", $library_package,"* | *", $library_package") ;;
        *) problem "$(basename "$deb") does not depend on $library_package: Depends: $depends" ;;
    esac
done
rm -rf "$native/deb-check"
dpkg-deb -x "$deb" "$native/deb-check"
debian=$native/deb-check/usr/bin
# shellcheck disable=SC2086 # one test name a word
e2e deb-information python3 "$e2e/entry_point_test.py" --tool "$debian/quorvane-capture" \
    --bin-dir "$debian" $information_tests
e2e deb-run flock /tmp/quorvane-tcp8888.lock python3 "$e2e/run_test.py" --tool "$debian/quorvane-capture" \
    --bin-dir "$debian" "$run_test"

echo "== packages: Windows zip, unzipped and run under Wine"
expect_files "$zip" quorvane-capture.exe Pcm2Wav.exe README.txt \
    licenses/cJSON.txt licenses/GCC-runtime-libraries.txt licenses/MinGW-w64-runtime.txt
unpack "$zip" "$windows/package-check"
unzipped=$windows/package-check/$(basename "$zip" .zip)
cmp -s "$root/README.md" "$unzipped/README.txt" || problem "the zip's README.txt is not the repository's README.md"
# Each notice is the one of the library it is named after (a mixed-up or
# empty file would pass the listing above).
grep -q "Dave Gamble" "$unzipped/licenses/cJSON.txt" || problem "licenses/cJSON.txt is not cJSON's licence"
grep -q "GCC RUNTIME LIBRARY EXCEPTION" "$unzipped/licenses/GCC-runtime-libraries.txt" ||
    problem "licenses/GCC-runtime-libraries.txt lacks the GCC Runtime Library Exception"
grep -q "winpthreads" "$unzipped/licenses/MinGW-w64-runtime.txt" ||
    problem "licenses/MinGW-w64-runtime.txt does not cover winpthreads"
# The converter the whole run uses is the unzipped Pcm2Wav.exe: the tool looks
# beside itself, and no other one is on Wine's search path.
# shellcheck disable=SC2086 # one test name a word
e2e windows-information python3 "$e2e/entry_point_test.py" --tool "$unzipped/quorvane-capture.exe" \
    --wine-prefix "$wine_prefix" --bin-dir "$native/bin" $information_tests
e2e windows-run flock /tmp/quorvane-tcp8888.lock python3 "$e2e/run_test.py" --tool "$unzipped/quorvane-capture.exe" \
    --wine-prefix "$wine_prefix" --bin-dir "$native/bin" "$run_test"

# A bare Windows has only its own DLLs: every DLL the programs import must be
# one that Windows itself provides (Wine puts one of each into system32), so
# that no MinGW runtime DLL is needed which the package does not hold.
system32=$wine_prefix/drive_c/windows/system32
for program in quorvane-capture.exe Pcm2Wav.exe; do
    x86_64-w64-mingw32-objdump -p "$unzipped/$program" | sed -n 's/^[[:space:]]*DLL Name: //p' >"$work/dlls"
    # Every Windows program imports KERNEL32.dll: none found means the
    # import table was not read, not that nothing is needed.
    grep -q -i -x KERNEL32.dll "$work/dlls" || problem "no DLL imports read from $program"
    while read -r dll; do
        if [ -z "$(find "$system32" -maxdepth 1 -iname "$dll")" ]; then
            problem "$program needs $dll, which is no Windows DLL and is not in the package"
        fi
    done <"$work/dlls"
done

if [ -n "$problems" ]; then
    echo "== packages: FAILED ($(($(date +%s) - started)) s)"
    exit 1
fi
echo "== packages: passed ($(($(date +%s) - started)) s)"
