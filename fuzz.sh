#!/usr/bin/env bash
# usage: ./fuzz.sh TARGET [SECONDS]
# Runs one libFuzzer target (fingerprint, options_line, launch, readme,
# picture) for SECONDS (default 600), starting from fuzz/corpus/TARGET and
# keeping there every input that reaches new code. An input that crashes,
# hangs or breaks the target's property is written to fuzz/found/ and the
# run stops: fix the program, then keep the input in the corpus as a
# regression case.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
# shellcheck disable=SC2086
zv_ensure_packages $ZV_BUILD_PACKAGES $ZV_FUZZ_PACKAGES

target=${1:?usage: ./fuzz.sh TARGET [SECONDS]}
seconds=${2:-600}
[ -d "fuzz/corpus/$target" ] || { echo "no such target: $target (see fuzz/)" >&2; exit 2; }

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZV_FUZZ=ON -DZV_TESTS=OFF >/dev/null
cmake --build "$build" --target "fuzz_$target"
mkdir -p fuzz/found
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
timeout=10
[ "$target" = readme ] && timeout=1 # the readme's decoding must be linear
# Absolute paths: a target may work in a folder of its own.
exec "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=4096 \
    -artifact_prefix="$PWD/fuzz/found/$target-" "$PWD/fuzz/corpus/$target"
