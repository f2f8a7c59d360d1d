#!/usr/bin/env bash
# Builds the test configuration (AddressSanitizer and UBSan) and runs every
# test with CTest. Installs what it needs from Debian when run as root.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
# shellcheck disable=SC2086
zv_ensure_packages $ZV_BUILD_PACKAGES $ZV_X_PACKAGES $ZV_E2E_PACKAGES $ZV_WINE_PACKAGES

build=build/test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZV_SANITIZE=ON -DZV_TESTS=ON >/dev/null
cmake --build "$build"
# Qt and fontconfig keep caches for the life of the process; only real errors matter here.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$build" --output-on-failure -j2
