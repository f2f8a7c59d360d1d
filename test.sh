#!/usr/bin/env bash
# Builds the test configuration (AddressSanitizer and UBSan), benchmarks
# included, and runs every test with CTest; before that, the Debian package
# (./package.sh, which runs the unit tests; the group e2e_installed checks the
# package), the fuzz targets (clang, libFuzzer) from their corpora in a second
# build folder, and the Windows program (./package-windows.sh, its suites run
# under wine; the groups e2e_windows and e2e_windows_installer check its zip
# and installer).
# Installs what it needs from Debian when run as root.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
# shellcheck disable=SC2086
zv_ensure_packages $ZV_BUILD_PACKAGES $ZV_X_PACKAGES $ZV_E2E_PACKAGES $ZV_WAYLAND_PACKAGES $ZV_WINE_PACKAGES \
    $ZV_FUZZ_PACKAGES $ZV_PACKAGE_PACKAGES $ZV_PACKAGE_CHECK_PACKAGES $ZV_BENCH_PACKAGES $ZV_WINDOWS_PACKAGES

# Qt and fontconfig keep caches for the life of the process; only real errors matter here.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

./package.sh
deb=$(echo "$PWD"/build/package/zerivirav_*.deb)

fuzz=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZV_FUZZ=ON \
    -DZV_TESTS=OFF >/dev/null
cmake --build "$fuzz" --target fuzz_fingerprint fuzz_options_line fuzz_launch fuzz_readme fuzz_picture
ctest --test-dir "$fuzz" --output-on-failure -j2 -L fuzz

# The Windows program, with the same unit and window suites, run under wine.
# Their failures are told at the end, after everything else has run too.
ZV_WINDOWS_TESTS=ON ./package-windows.sh
windows=0
ctest --test-dir build/windows/build --output-on-failure -j2 || windows=$?
zip=$(echo "$PWD"/build/windows/zerivirav-*-win64.zip)
setup=$(echo "$PWD"/build/windows/zerivirav-*-setup.exe)

# The benchmarks are built too (not run: ./bench.sh does that), so that they
# cannot stop building unseen.
build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZV_SANITIZE=ON -DZV_TESTS=ON -DZV_BENCH=ON \
    -DZV_PACKAGE_DEB="$deb" -DZV_WINDOWS_ZIP="$zip" -DZV_WINDOWS_SETUP="$setup" >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
if [ "$windows" -ne 0 ]; then
    echo "The Windows suites failed (ctest --test-dir build/windows/build, above)." >&2
    exit "$windows"
fi
