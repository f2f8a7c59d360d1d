#!/usr/bin/env bash
# Benchmarks: start-up time and peak memory of the main window against a plain
# Qt window in folders of 0, 3,000 and 100,000 ROM files, the time of one ROM
# selection and of Run up to the emulator's process. Prints one table.
# Not part of ./test.sh: the numbers belong to the machine and to what else it
# is doing, so they are read by a person, not asserted by CI.
#
# Both programs run under a private Xvfb (QT_QPA_PLATFORM=xcb, no window
# manager), with the same style and font. The program measured is the real
# one, main() and all, ending after its first paint. Each start is timed from
# the fork to the X server's events for its window: mapped, and fully drawn.
# While a program starts, the measuring side sleeps on its X connection.
# Environment: ZV_BENCH_ROUNDS (default 30), ZV_BENCH_WARMUP (3), ZV_BENCH_VERBOSE
# (1: every start on stderr),
# ZV_BENCH_BUILD (build/bench).
#
# ./bench.sh wine: the Windows program's start-up under wine instead, in
# folders of 0 and 3,000 ROM files (ZV_BENCH_ROUNDS default 15): the program
# and the plain window built with the Windows Qt in package-windows.sh's build
# folder, both started from a copy of the folder it makes (its DLLs, plugins,
# qt.conf and font), in a wine prefix of their own. Only the start-up table
# is printed.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD
mode=${1:-}
case $mode in "" | wine) ;; *) echo "usage: $0 [wine]" >&2; exit 2 ;; esac
# shellcheck source=tools/packages.sh
source tools/packages.sh
# shellcheck disable=SC2086
zv_ensure_packages $ZV_BUILD_PACKAGES $ZV_X_PACKAGES $ZV_BENCH_PACKAGES ${mode:+$ZV_WINDOWS_PACKAGES}

rounds=${ZV_BENCH_ROUNDS:-$([ "$mode" = wine ] && echo 15 || echo 30)}
warmup=${ZV_BENCH_WARMUP:-3}
build=${ZV_BENCH_BUILD:-$top/build/bench}
data=$top/build/bench-data
sizes=(0 3000 100000)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZV_BENCH=ON -DZV_TESTS=OFF >/dev/null
if [ "$mode" = wine ]; then
    sizes=(0 3000)
    cmake --build "$build" --target zv_bench_alternate
    ./package-windows.sh >/dev/null
    # The two programs are built in the package's own build folder, from
    # the objects the program was built from; the folder is left as it was.
    wbuild=$top/build/windows/build
    cmake -DZV_BENCH=ON "$wbuild" >/dev/null
    cmake --build "$wbuild" --target zv_bench_start zv_bench_baseline
    cmake -DZV_BENCH=OFF "$wbuild" >/dev/null
else
    cmake --build "$build" -j "$(nproc)" --target zv_bench_start zv_bench_baseline zv_bench_ops zv_bench_select \
        zv_bench_alternate quex_standin
fi
bin=$build/bench

# A folder of COUNT generated ROM files (names in mixed letter case, a few
# bytes each) next to the pictures the window needs. Made once and reused;
# the marker is written last, so an interrupted run starts the folder afresh.
make_folder() {
    local dest=$1 count=$2 i name
    rm -rf "$dest" "$dest.complete"
    mkdir -p "$dest/graphics"
    cp -R data/graphics/. "$dest/graphics/"
    for ((i = 1; i <= count; i++)); do
        printf -v name 'GAME%05d' "$i"
        case $((i % 3)) in
            0) name+=.BIN ;;
            1) name="${name,,}.bin" ;;
            2) name="Game${name:4}.Bin" ;;
        esac
        printf '\x78\xd8\xa9\xaa\x95\xe8\xd0\xfb' > "$dest/$name"
    done
    printf 'not a ROM\n' > "$dest/notes.txt"
    : > "$dest.complete"
}
for n in "${sizes[@]}"; do
    if [ ! -e "$data/roms-$n.complete" ]; then
        echo "Generating $n ROM files in $data/roms-$n (once)..."
        make_folder "$data/roms-$n" "$n"
    fi
done

scratch=$(mktemp -d)
pids=()
cleanup() {
    [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
# Xvfb names its display once it accepts connections: nothing to poll.
exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
pids+=($!)
read -r -t 30 -u 3 number || { echo "Xvfb did not start." >&2; exit 1; }
export DISPLAY=:$number

# The two programs take turns, round after round.
echo "Measuring start-up: $rounds rounds after $warmup warm-up rounds per folder..."
declare -A base win
baseline=("$bin/zv_bench_baseline") program=("$bin/zv_bench_start") through=()
if [ "$mode" = wine ]; then
    # Both beside the Windows program, as its own files are: the same
    # DLLs, plugins, qt.conf and font folder. The wine server is kept up
    # through the runs, as a user's session keeps it.
    stage=$scratch/windows
    cp -R "$(echo "$top"/build/windows/stage/zerivirav-*)" "$stage"
    cp "$wbuild/bench/zv_bench_baseline.exe" "$wbuild/bench/zv_bench_start.exe" "$stage/"
    tools/wine_prefix.sh setup "$scratch/wine"
    wine=$(command -v wine)
    baseline=("$wine" "$stage/zv_bench_baseline.exe") program=("$wine" "$stage/zv_bench_start.exe")
    through=("$top/tools/wine_prefix.sh" run "$scratch/wine" --
        sh -c 'wineserver -p && "$@"; status=$?; wineserver -k; exit $status' sh)
fi
for n in "${sizes[@]}"; do
    mapfile -t lines < <(cd "$data/roms-$n" && ZV_BENCH_ROWS=$n "${through[@]}" "$bin/zv_bench_alternate" \
        ${ZV_BENCH_VERBOSE:+-v} "$rounds" "$warmup" -- "${baseline[@]}" -- "${program[@]}")
    [ ${#lines[@]} -eq 2 ] || { echo "Measuring the folder of $n ROM files failed." >&2; exit 1; }
    base[$n]=${lines[0]}
    win[$n]=${lines[1]}
done
if [ "$mode" != wine ]; then
    echo "Measuring one selection and Run..."
    mapfile -t ops < <("$bin/zv_bench_ops" "$build/tools/quex_standin"; "$bin/zv_bench_select" "$top/data")
    [ ${#ops[@]} -eq 7 ] || { echo "Measuring selection and Run failed." >&2; exit 1; }
fi

field() { echo "$1" | awk -v i="$2" '{print $i}'; }
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v <= limit ? "ok" : "MISSED") }'; }
below() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v < limit ? "ok" : "MISSED") }'; }

echo
platform="Xvfb with QT_QPA_PLATFORM=xcb"
[ "$mode" = wine ] && platform="the Windows program under $(wine --version) on Xvfb"
printf 'zerivirav benchmarks, %s, %s CPUs, load %s, %s, medians of %s rounds\n' \
    "$(date -u +%Y-%m-%d)" "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)" "$platform" "$rounds"
echo
printf '%-9s %-12s | %-20s %-20s | %6s %-14s\n' "ROM files" "start to" "plain ms (IQR)" "window ms (IQR)" \
    "ratio" "target"
printf '%s\n' "----------------------+---------------------------------------------+----------------------"
# Fields of a measurement line: mapped, its quartiles, painted, its quartiles, peak KiB.
cell() { awk -v m="$(field "$1" "$2")" -v a="$(field "$1" $(($2 + 1)))" -v b="$(field "$1" $(($2 + 2)))" \
    'BEGIN { printf "%.1f (%.1f-%.1f)", m, a, b }'; }
for n in "${sizes[@]}"; do
    case $n in
        0) limit=1.08 ;;
        3000) limit=1.10 ;;
        *) limit=1.3 ;;
    esac
    for what in mapped painted; do
        [ $what = mapped ] && at=1 label="mapped" || { at=4; label="first paint"; }
        ratio=$(awk -v a="$(field "${win[$n]}" $at)" -v b="$(field "${base[$n]}" $at)" 'BEGIN { printf "%.2f", a / b }')
        printf '%-9s %-12s | %-20s %-20s | %5sx %-14s\n' "$n" "$label" "$(cell "${base[$n]}" $at)" \
            "$(cell "${win[$n]}" $at)" "$ratio" "<= ${limit}x $(verdict "$ratio" "$limit")"
    done
done
if [ "$mode" = wine ]; then
    echo
    echo "plain: a QMainWindow of the same size with one menu and a label, set up as the program is (font,"
    echo "style); window: the program itself. Both .exe files lie in the Windows program's folder."
    echo "mapped: from the fork of wine to the X server's MapNotify of the window; first paint: to the"
    echo "DAMAGE events that cover the whole window. ratio: of the medians; IQR: first to third quartile."
    exit 0
fi
echo
printf '%-9s | %9s %10s %-14s %-17s\n' "ROM files" "plain MiB" "window MiB" "extra" "target"
printf '%s\n' "----------+--------------------------------------------------------"
for n in "${sizes[@]}"; do
    bkb=$(field "${base[$n]}" 7) wkb=$(field "${win[$n]}" 7)
    mratio=$(awk -v a="$wkb" -v b="$bkb" 'BEGIN { printf "%.2f", a / b }')
    extra=$(awk -v a="$wkb" -v b="$bkb" 'BEGIN { printf "%+.1f", (a - b) / 1024 }')
    case $n in
        3000) mtarget="<= 1.3x $(verdict "$mratio" 1.3)" ;;
        100000) mtarget="<= +6 MiB $(verdict "$extra" 6)" ;;
        *) mtarget='' ;;
    esac
    printf '%-9s | %9.1f %10.1f %-14s %-17s\n' "$n" "$(awk -v k="$bkb" 'BEGIN { print k / 1024 }')" \
        "$(awk -v k="$wkb" 'BEGIN { print k / 1024 }')" "$extra (${mratio}x)" "$mtarget"
done
echo
printf '%-47s | %10s %-14s | %s\n' "operation" "median ms" "target" "repetitions"
printf '%s\n' "------------------------------------------------+---------------------------+------------"
declare -A op
for line in "${ops[@]}"; do op[${line%% *}]=${line#* }; done
for name in select_2k select_4g_sparse select_64m_no_cr select_window_known select_window_unknown \
    run_started run_logged; do
    read -r med _ _ reps <<<"${op[$name]}"
    case $name in
        select_2k) label="one selection, 2 KiB ROM"; limit=0.2 ;;
        select_4g_sparse) label="one selection, 4 GiB sparse ROM"; limit=0.2 ;;
        select_64m_no_cr) label="one selection, 64 MiB ROM without CR"; limit=0.2 ;;
        select_window_known) label="  (in the window, known ROM and its picture)"; limit= ;;
        select_window_unknown) label="  (in the window, unknown ROM, default picture)"; limit= ;;
        run_started) label="Run to the stand-in's process started"; limit=20 ;;
        run_logged) label="  (to the stand-in's main() having run)"; limit= ;;
    esac
    if [ -n "$limit" ]; then
        printf '%-47s | %10.4f %-14s | %s\n' "$label" "$med" "< $limit $(below "$med" "$limit")" "$reps"
    else
        printf '%-47s | %10.4f %-14s | %s\n' "$label" "$med" "-" "$reps"
    fi
done
echo
echo "plain: a QMainWindow of the same size with one menu and a label; window: the program itself."
echo "mapped: from the fork to the X server's MapNotify of the window; first paint: to the DAMAGE events"
echo "that cover the whole window, a paint that shows every ROM of the folder (checked by the program)."
echo "ratio: of the medians; IQR: first to third quartile."
echo "MiB: median peak resident memory (as time -f %M)."
echo "one selection: probe, fingerprint and catalogue lookup; in the window also the labels and the"
echo "picture, read from its file each time. Run: options line, Quex.bat written, startTask returned"
echo "the pid of the exec'd stand-in (checked in /proc)."
