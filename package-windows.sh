#!/usr/bin/env bash
# Builds the Windows program on this machine and leaves in build/windows/:
#   zerivirav-VERSION-win64.zip   one folder zerivirav-VERSION/ with zerivirav.exe,
#                                 the DLLs and plugins it needs, its data files,
#                                 the README, the licenses and where the
#                                 sources of what it redistributes are;
#   zerivirav-VERSION-setup.exe   the installer (NSIS): per machine, Start menu,
#                                 "Open with zerivirav" on and in folders, an
#                                 uninstaller.
# Qt for Windows is built once from Debian's source package and cached
# outside the checkout (tools/qt_mingw.sh). Installs what it needs from Debian
# when run as root. With ZV_WINDOWS_TESTS=ON the test suites are built too.
#
# Two runs on one commit give the same bytes, wherever the checkout lies:
# every time stored is SOURCE_DATE_EPOCH (by default the commit's time), the
# archives hold their files in one order, and neither the checkout's path nor
# the link time goes into the programs (see CMakeLists.txt).
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD
source tools/packages.sh
# shellcheck disable=SC2086
zv_ensure_packages $ZV_BUILD_PACKAGES $ZV_WINDOWS_PACKAGES

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || dpkg-parsechangelog -STimestamp)
fi
export SOURCE_DATE_EPOCH
qt=$(tools/qt_mingw.sh | tail -n 1)
version=$(sed -n 's/^project(zerivirav VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=$top/build/windows
triple=x86_64-w64-mingw32

# The button faces are drawn by the build machine's drawer, as in a native build.
cmake -S . -B "$out/host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZV_TESTS=OFF >/dev/null
cmake --build "$out/host" --target draw_button_faces

cmake -S . -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
    -DZV_DRAW_BUTTON_FACES="$out/host/tools/draw_button_faces" \
    -DZV_TESTS="${ZV_WINDOWS_TESTS:-OFF}" >/dev/null
cmake --build "$out/build"

# The zip's folder: the program and its data (cmake --install), then the
# DLLs it and its plugins load, found by walking their import tables.
name=zerivirav-$version
stage=$out/stage/$name
rm -rf "$out/stage"
cmake --install "$out/build" --prefix "$stage" >/dev/null
# Only the plugins the program loads: the offscreen platform serves the test
# suites alone, which take it from the Qt prefix.
plugins=(platforms/qwindows.dll imageformats/qgif.dll imageformats/qjpeg.dll)
for plugin in "${plugins[@]}"; do
    install -D -m 644 "$qt/plugins/$plugin" "$stage/$plugin"
done
runtime() { dirname "$("$triple-g++-posix" -print-file-name="$1")"; }
search=("$qt/bin" "$(runtime libstdc++-6.dll)" "$(runtime libwinpthread-1.dll)")
# A DLL found in none of these must be one of Windows' own: wine has those
# (the api-ms-win-* sets are the loader's names for them).
windows_own=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
todo=("$stage/zerivirav.exe" "$stage/zerivirav-open.exe" "${plugins[@]/#/$stage/}")
runtime_dlls=()  # the compiler's, whose licenses come from their Debian packages
while [ ${#todo[@]} -gt 0 ]; do
    file=${todo[0]}
    todo=("${todo[@]:1}")
    for dll in $("$triple-objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
        [ -e "$stage/$dll" ] && continue
        found=
        for dir in "${search[@]}"; do
            if [ -e "$dir/$dll" ]; then
                install -m 644 "$dir/$dll" "$stage/$dll"
                todo+=("$stage/$dll")
                [ "$dir" = "$qt/bin" ] || runtime_dlls+=("$dir/$dll")
                found=1
                break
            fi
        done
        if [ -z "$found" ] && [[ ${dll,,} != api-ms-win-* ]] \
            && [ -z "$(find "$windows_own" -maxdepth 1 -iname "$dll" -print -quit)" ]; then
            echo "${file#"$stage"/} needs $dll, which is neither Qt's, the compiler's nor Windows' own" >&2
            exit 1
        fi
    done
done
"$triple-strip" --strip-unneeded "$stage"/*.dll "$stage"/*/*.dll "$stage"/*.exe
cp tools/windows/qt.conf "$stage/qt.conf"
tools/windows/licenses.sh "$stage" "$version" "${runtime_dlls[@]}"

# One time for every file and folder, the permissions as installed whatever
# the umask, the entries in one order, and the zip's DOS times (local times)
# taken in UTC.
chmod -R u+rwX,go+rX,go-w "$out/stage"
find "$out/stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
zip=$out/$name-win64.zip
rm -f "$zip"
(cd "$out/stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$zip")

# What the installer puts down and its uninstaller takes away: the zip's
# files, folder by folder, and the folders, deepest first.
lists=$out/nsis
rm -rf "$lists"
mkdir -p "$lists"
winpath() { local path=${1#.}; path=${path#/}; printf '%s' "${path//\//\\}"; }
(
    cd "$stage"
    find . -type d | LC_ALL=C sort | while read -r dir; do
        sub=$(winpath "$dir")
        printf 'SetOutPath "$INSTDIR%s"\n' "${sub:+\\$sub}"
        find "$dir" -maxdepth 1 -type f | LC_ALL=C sort | while read -r file; do
            printf 'File "%s"\n' "$stage/${file#./}"
        done
    done
) >"$lists/files.nsh"
(
    cd "$stage"
    find . -type f | LC_ALL=C sort | while read -r file; do printf 'Delete "$INSTDIR\\%s"\n' "$(winpath "$file")"; done
    find . -mindepth 1 -type d | LC_ALL=C sort -r | while read -r dir; do printf 'RMDir "$INSTDIR\\%s"\n' "$(winpath "$dir")"; done
) >"$lists/unfiles.nsh"
# The license page shows every text the folder holds, the notice first, as
# UTF-8 with a byte order mark (makensis reads a file without one in the
# build machine's code page) and Windows line ends.
(
    cd "$stage"
    export LC_ALL=C
    printf '\xef\xbb\xbf'
    for text in licenses/README.txt LICENSE.txt licenses/*.copyright.txt fonts/*-COPYING.txt \
                licenses/common-licenses/*.txt; do
        printf '%s\n%s\n\n' "${text//\//\\}" "${text//?/=}"
        cat "$text"
        printf '\n\n'
    done
) | sed 's/$/\r/' >"$lists/license.txt"
setup=$out/$name-setup.exe
rm -f "$setup"
makensis -V2 -DVERSION="$version" -DOUTFILE="$setup" -DFILES="$lists/files.nsh" -DUNFILES="$lists/unfiles.nsh" \
    -DLICENSE="$lists/license.txt" -DICON="$out/build/src/app/zerivirav.ico" dist/zerivirav.nsi
echo "Zip:       $zip"
echo "Installer: $setup"
