#!/usr/bin/env bash
# usage: licenses.sh FOLDER VERSION RUNTIME-DLL...
# Writes FOLDER/licenses/ for the Windows program's folder FOLDER: what it
# redistributes, under which terms and where each part's source is
# (README.txt), with the copyright files Debian ships with the very packages
# the files came from and the license texts those files name. RUNTIME-DLL
# are the compiler's DLLs as they lie on this machine; the Qt DLLs are those
# tools/qt_mingw.sh built. Nothing here is written by hand: a DLL from
# another package, or another Qt, changes what it says.
set -euo pipefail
folder=$1 version=$2
shift 2
here=$(cd "$(dirname "$0")/../.." && pwd)
licenses=$folder/licenses
mkdir -p "$licenses/common-licenses"

describe=$("$here/tools/qt_mingw.sh" --describe)
qt_version=$(head -n 1 <<<"$describe")
# The build machine's Qt is the one whose source was built (qt_mingw.sh takes
# its version), so its copyright file is that source's debian/copyright.
[ "$(dpkg-query -W -f='${source:Version}' libqt6core6)" = "$qt_version" ] \
    || { echo "libqt6core6 is not of qt6-base $qt_version, the Qt shipped" >&2; exit 1; }
copyrights=(/usr/share/doc/libqt6core6/copyright /usr/share/doc/fonts-urw-base35/copyright)
cp /usr/share/doc/libqt6core6/copyright "$licenses/qt6-base.copyright.txt"

declare -A dlls=()
for dll in "$@"; do
    package=$(dpkg-query -S "$(realpath "$dll")" | sed -n '1s/: .*//p')
    [ -n "$package" ] || { echo "$dll belongs to no Debian package" >&2; exit 1; }
    dlls[$package]+="${dlls[$package]:+, }$(basename "$dll")"
done
packages=$(printf '%s\n' "${!dlls[@]}" | LC_ALL=C sort)

title="zerivirav $version for Windows: licenses and sources"
{
    cat <<EOF
$title
${title//?/=}

zerivirav.exe, zerivirav-open.exe, qt.conf, graphics\\, zerivirav.txt, README.md
  zerivirav, Copyright 2026 The zerivirav developers, under the Expat
  license: LICENSE.txt.

$(cd "$folder" && ls Qt6*.dll | paste -sd, - | sed 's/,/, /g'),
platforms\\qwindows.dll, imageformats\\qgif.dll, imageformats\\qjpeg.dll
  Qt ${qt_version%%+*} (qtbase), Copyright The Qt Company Ltd. and other
  contributors, under the GNU Lesser General Public License version 3,
  licenses\\common-licenses\\LGPL-3.txt, which adds to the GNU General
  Public License version 3, licenses\\common-licenses\\GPL-3.txt. Qt holds
  code of others (zlib, libpng, libjpeg, FreeType, HarfBuzz, PCRE2 and
  more) under their own terms; Debian's copyright file of the source
  package names each: licenses\\qt6-base.copyright.txt.
  Built from Debian's qt6-base source package, version $qt_version,
  unpacked with its Debian patches (dpkg-source -x) and otherwise
  unchanged, by the GCC of Debian's g++-mingw-w64-x86-64-posix package,
  version $(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix), configured with CMake and these options:
$(tail -n +2 <<<"$describe" | sed 's/^/    /')
  Debian's archive keeps that source package: on Debian,
  "apt-get source qt6-base=$qt_version" fetches it. You may replace these
  DLLs with a Qt ${qt_version%.*} of your own, built from it or from a changed copy.

EOF
    for package in $packages; do
        source=$(dpkg-query -W -f='${source:Package} ${source:Version}' "$package")
        cat <<EOF
${dlls[$package]}
  From the Debian package $package, version ${source#* }, as it is;
  its source is Debian's source package ${source% *}, version ${source#* }.
  Its copyright and license: licenses\\$package.copyright.txt.

EOF
        cp "/usr/share/doc/$package/copyright" "$licenses/$package.copyright.txt"
        copyrights+=("/usr/share/doc/$package/copyright")
    done
    cat <<EOF
fonts\\NimbusSansNarrow-Regular.pfa
  From the Debian package fonts-urw-base35, version
  $(dpkg-query -W -f='${Version}' fonts-urw-base35): fonts\\NimbusSansNarrow-COPYING.txt.

The copyright files name the license texts as Debian installs them, in
/usr/share/common-licenses/NAME; here each is licenses\\common-licenses\\NAME.txt.
EOF
} >"$licenses/README.txt"

for text in LGPL-3 GPL-3 $(grep -ho '/usr/share/common-licenses/[A-Za-z0-9.+-]*[A-Za-z0-9]' "${copyrights[@]}" \
                           | sed 's|.*/||' | LC_ALL=C sort -u); do
    cp -L "/usr/share/common-licenses/$text" "$licenses/common-licenses/$text.txt"
done
