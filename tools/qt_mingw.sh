#!/usr/bin/env bash
# Builds Qt 6 (qtbase: Core, Gui, Widgets, Test and the windows, offscreen
# and image-format plugins) for x86_64-w64-mingw32 from Debian's own source
# package, the same version as the build machine's Qt, whose tools (moc, rcc,
# uic) the cross build uses. The result is cached outside any checkout, keyed
# by the version, the configure options and the compiler, so every checkout and CI run on
# this machine reuses it. Prints the Qt prefix as its last line of output.
# With --describe it builds nothing and prints the source package's version
# and the configure options, one a line: what the Windows package's notice
# tells its users about the Qt it ships.
#
# The source is fetched with apt through a private configuration (its own
# source list, package lists and cache in a temporary folder), so the
# system's apt sources are never changed.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
toolchain=$here/cmake/mingw-w64-x86_64.cmake

version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
cache=${ZV_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/zerivirav}

# Found the hard way: dynamicgl stays on unless OpenGL is off as an input;
# without direct2d, directwrite3 fails to link; Debian's tarball drops the
# wintab sources behind tablet events; a Debian patch turns androiddeployqt on
# for cross builds; pkg-config and the bundled libraries keep the build
# machine's libraries out. FreeType stays, since the offscreen plugin draws
# text with it.
options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF
    -DFEATURE_tabletevent=OFF
    -DFEATURE_androiddeployqt=OFF
    -DFEATURE_pkg_config=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF
    -DFEATURE_freetype=ON -DFEATURE_fontconfig=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
    -DFEATURE_gif=ON -DFEATURE_jpeg=ON -DFEATURE_png=ON
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
)
if [ "${1:-}" = --describe ]; then
    printf '%s\n' "${version#*:}" "${options[@]}"
    exit 0
fi
# The compilers and the mingw-w64 runtime are part of the key: an upgraded
# compiler builds Qt anew rather than linking against a Qt made by the old one.
compiler=$(x86_64-w64-mingw32-g++-posix --version | head -n 1
           dpkg-query -W -f='${Version}\n' g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)
key=$( { printf '%s\n' "${options[@]}"; cat "$toolchain"; echo "$compiler"; } | sha256sum | cut -c1-12)
prefix=$cache/qt-$version-mingw-$key

mkdir -p "$cache"
exec 9>"$cache/.qt-mingw.lock"
flock 9   # another checkout may be building the same Qt right now
if [ -e "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

# The source, from the same Debian archive the installed Qt came from.
src=$cache/src
mkdir -p "$src"
dsc=$src/qt6-base_${version#*:}.dsc
if [ ! -e "$dsc" ]; then
    archive=$(apt-cache policy qt6-base-dev | awk '
        /\*\*\*/ { here = 1; next }
        here && $1 ~ /^[0-9]+$/ && $2 ~ /^[a-z+]+:\/\// { print $2, $3; exit }')
    [ -n "$archive" ] || { echo "No Debian archive is known for qt6-base-dev $version (apt-get update?)." >&2; exit 1; }
    uri=${archive% *}; dist=${archive#* }
    apt=$(mktemp -d)
    trap 'rm -rf "$apt"' EXIT
    mkdir -p "$apt/parts" "$apt/lists/partial" "$apt/cache/archives/partial"
    signed=
    [ -e /usr/share/keyrings/debian-archive-keyring.gpg ] && signed="[signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] "
    echo "deb-src $signed$uri ${dist%%/*} ${dist#*/}" >"$apt/sources.list"
    aptopts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/parts"
             -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache")
    apt-get "${aptopts[@]}" -qq update >&2
    (cd "$src" && apt-get "${aptopts[@]}" -qq source --download-only "qt6-base=$version" >&2)
fi

build=$cache/qt-build-$key
rm -rf "$build" "$prefix"
mkdir -p "$build"
dpkg-source -x "$dsc" "$build/qtbase" >&2
echo "Configuring Qt $version for Windows (log: $build/configure.log)" >&2
cmake -S "$build/qtbase" -B "$build/out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$build/configure.log" 2>&1 \
    || { tail -n 40 "$build/configure.log" >&2; exit 1; }
echo "Building Qt (about 15 to 30 minutes on two cores)" >&2
cmake --build "$build/out" --parallel "${ZV_QT_JOBS:-$(nproc)}" >"$build/build.log" 2>&1 \
    || { tail -n 40 "$build/build.log" >&2; exit 1; }
cmake --install "$build/out" >"$build/install.log" 2>&1 || { tail -n 40 "$build/install.log" >&2; exit 1; }
# The toolchain file travels with the Qt built by it, since a checkout may go.
cp "$toolchain" "$prefix/mingw-w64-x86_64.cmake"
touch "$prefix/.complete"
rm -rf "$build"
echo "$prefix"
