#!/usr/bin/env bash
# Builds zerivirav in Release, prepares a demo folder (data files, demo ROM
# stand-ins and the quex stand-in as quex.exe) in build/demo and starts the
# front end there. Without a display it runs the same demo under Xvfb: it
# selects a ROM, ticks an option, presses Run, saves a screenshot and prints
# the launch script and what the stand-in received.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD
source tools/packages.sh
# shellcheck disable=SC2086
if [ -n "${DISPLAY:-}" ]; then
    zv_ensure_packages $ZV_BUILD_PACKAGES
else
    zv_ensure_packages $ZV_BUILD_PACKAGES $ZV_X_PACKAGES
fi

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZV_TESTS=OFF >/dev/null
cmake --build "$build" --target zerivirav quex_standin
demo=$top/build/demo
rm -f "$demo/quex.log" "$demo/Quex.bat"
tools/make_demo.sh "$demo" "$build/tools/quex_standin"
app=$top/$build/src/app/zerivirav
cd "$demo"

if [ -n "${DISPLAY:-}" ]; then
    # The stand-in shows a small window naming what it was asked to run.
    QUEX_STANDIN_WINDOW=1 QUEX_STANDIN_SECONDS=20 exec "$app"
fi

echo "No display: running the demo under Xvfb."
for n in $(seq 90 119); do [ -e "/tmp/.X$n-lock" ] || { disp=:$n; break; }; done
Xvfb "$disp" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
pids=("$xvfb")
cleanup() { kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; }
trap cleanup EXIT
export DISPLAY=$disp QT_QPA_PLATFORM=xcb
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids+=($!)
sleep 0.5
"$app" & pids+=($!)
win=
for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --name '^quex Front End$' 2>/dev/null | head -n1) && [ -n "$win" ] && break
    sleep 0.1
done
[ -n "$win" ] || { echo "The front end did not open its window." >&2; exit 1; }
xdotool windowactivate --sync "$win" 2>/dev/null || true
sleep 0.3
# Run has the focus. Tab to the file list and type the start of a name to
# select it, then Tab on to the first option of the Sound page and tick it.
xdotool key --delay 80 Tab
xdotool type --delay 60 AIRRAID
sleep 0.2
xdotool key --delay 80 Tab Tab Tab Tab space
# Back to Run (Shift+Tab through Tab strip, Exit, Clear and the list) and press it.
xdotool key --delay 80 shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab space
for _ in $(seq 50); do [ -s quex.log ] && break; sleep 0.1; done
sleep 0.3
import -window "$win" screenshot.png
echo "Screenshot: $demo/screenshot.png"
echo "--- Quex.bat ---"
tr -d '\r' < Quex.bat
echo "--- the stand-in received (pid, then each argument, tab-separated) ---"
cat quex.log 2>/dev/null || echo "(nothing: quex.exe was not started)"
