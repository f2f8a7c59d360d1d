# Sourced by run.sh and test.sh: makes sure the Debian packages a step needs
# are installed. As root they are installed with apt-get; otherwise the exact
# install line is printed and the script stops.

# Build: compiler, CMake/Ninja, Qt 6 Widgets, and the fonts the fixed layout is measured with.
ZV_BUILD_PACKAGES="g++ cmake ninja-build qt6-base-dev libgl-dev libglx-dev libopengl-dev libxkbcommon-dev pkg-config libxcb1-dev libxcb-res0-dev fonts-dejavu-core fonts-urw-base35"
# A private X server with a window manager, screenshots and key presses.
ZV_X_PACKAGES="xvfb openbox imagemagick x11-utils xdotool"
# The start-up benchmark watches the X server's drawing (DAMAGE) itself.
ZV_BENCH_PACKAGES="libxcb-damage0-dev"
# The end-to-end suite drives the program through the accessibility bus.
ZV_E2E_PACKAGES="python3 python3-pyatspi at-spi2-core dbus dbus-x11 procps util-linux mount"

# A Windows quex.exe through wine: wine itself and the cross compiler of the
# Windows stand-in.
ZV_WINE_PACKAGES="wine wine64 g++-mingw-w64-x86-64"

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
