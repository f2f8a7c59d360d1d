#!/usr/bin/env bash
# Builds the Debian package the Debian way (dpkg-buildpackage with debhelper,
# see debian/) and leaves it as build/package/zerivirav_VERSION_ARCH.deb.
# Installs the build dependencies first when run as root. The build runs in a
# copy of the sources under build/package, since dpkg-buildpackage writes into
# debian/ and beside the source folder.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
# shellcheck disable=SC2086
zv_ensure_packages $ZV_BUILD_PACKAGES $ZV_PACKAGE_PACKAGES

out=build/package
rm -rf "$out"
mkdir -p "$out/zerivirav"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    # The sources as git sees them: tracked and new files, nothing ignored.
    git ls-files -z --cached --others --exclude-standard \
        | tar --null --ignore-failed-read -T - -cf - | tar -xf - -C "$out/zerivirav"
else
    tar --exclude=./build --exclude=./.git -cf - . | tar -xf - -C "$out/zerivirav"
fi
(cd "$out/zerivirav" && DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-parallel=2}" dpkg-buildpackage -us -uc -b)
echo "Package: $(ls "$PWD/$out"/zerivirav_*.deb)"
