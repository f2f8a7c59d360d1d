# Sourced by run.sh, test.sh and package.sh: makes sure the Debian packages a
# step needs are installed. As root they are installed with apt-get; otherwise
# the exact install line is printed and the script stops.

# Build: compiler, CMake/Ninja, Qt 6 Widgets, and the fonts the fixed layout is measured with.
# Qt's Wayland plugin, so the program runs natively in a Wayland session, and
# what asking the compositor for startup tokens is built with.
ZV_BUILD_PACKAGES="g++ cmake ninja-build qt6-base-dev libgl-dev libglx-dev libopengl-dev libxkbcommon-dev pkg-config libxcb1-dev libxcb-res0-dev libxau-dev fonts-dejavu-core fonts-urw-base35 qt6-wayland qt6-base-private-dev libwayland-dev wayland-protocols"
# A private X server with a window manager, screenshots and key presses.
ZV_X_PACKAGES="xvfb openbox imagemagick x11-utils xdotool"
# The start-up benchmark watches the X server's drawing (DAMAGE) itself.
ZV_BENCH_PACKAGES="libxcb-damage0-dev"
# The end-to-end suite drives the program through the accessibility bus.
ZV_E2E_PACKAGES="python3 python3-pyatspi at-spi2-core dbus dbus-x11 procps util-linux mount"

# A Wayland session without a screen for the end-to-end suite: sway with
# XWayland, screenshots and key presses there.
ZV_WAYLAND_PACKAGES="sway xwayland grim wtype qt6-wayland-dev"

# A Windows quex.exe through wine: wine itself and the cross compiler of the
# Windows stand-in.
ZV_WINE_PACKAGES="wine wine64 g++-mingw-w64-x86-64"

# The Windows program (./package-windows.sh): Qt built from Debian's source
# package (dpkg-dev unpacks it) with the -posix mingw-w64 compilers, the icon
# drawn from the desktop one, the layout's font shipped with it, the zip and
# the installer; wine runs the Windows tests.
ZV_WINDOWS_PACKAGES="cmake ninja-build dpkg-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 librsvg2-bin imagemagick fonts-urw-base35 fonts-dejavu-core zip nsis wine wine64"

# The Debian package (./package.sh): dpkg-buildpackage with debhelper; the
# build dependencies in debian/control are among the build packages above.
ZV_PACKAGE_PACKAGES="build-essential dpkg-dev debhelper"
# The checks ./test.sh runs on the package: lintian, the desktop entry, the
# AppStream metadata, "Open With" through GLib's launcher, the manual page,
# and that folders stay with the file manager (pcmanfm) once it is installed.
ZV_PACKAGE_CHECK_PACKAGES="lintian desktop-file-utils appstream libglib2.0-bin man-db pcmanfm xdg-utils"

# The fuzz targets: clang with libFuzzer and the sanitizers' runtime.
ZV_FUZZ_PACKAGES="clang libclang-rt-14-dev"

zv_ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
}
