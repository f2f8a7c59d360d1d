#!/usr/bin/env bash
# Benchmarks: start-up time and peak memory of the main window against a plain
# Qt window in folders of 0, 3,000 and 100,000 ROM files, the time of one ROM
# selection and of Run up to the emulator's process. Prints one table.
# Not part of ./test.sh: the numbers belong to the machine and to what else it
# is doing, so they are read by a person, not asserted by CI.
#
# Both programs run under a private Xvfb (QT_QPA_PLATFORM=xcb, no window
# manager), with the same style and font.
# Environment: ZV_BENCH_ROUNDS (default 30), ZV_BENCH_WARMUP (3),
# ZV_BENCH_BUILD (build/bench).
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD
# shellcheck source=tools/packages.sh
source tools/packages.sh
# shellcheck disable=SC2086
zv_ensure_packages $ZV_BUILD_PACKAGES $ZV_X_PACKAGES

rounds=${ZV_BENCH_ROUNDS:-30}
warmup=${ZV_BENCH_WARMUP:-3}
build=${ZV_BENCH_BUILD:-$top/build/bench}
data=$top/build/bench-data
sizes=(0 3000 100000)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZV_BENCH=ON -DZV_TESTS=OFF >/dev/null
cmake --build "$build" --target zv_bench_start zv_bench_baseline zv_bench_ops zv_bench_select \
    zv_bench_alternate quex_standin
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
disp=
for n in $(seq 90 149); do [ -e "/tmp/.X$n-lock" ] || { disp=:$n; break; }; done
[ -n "$disp" ] || { echo "No free X display number for Xvfb." >&2; exit 1; }
Xvfb "$disp" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$disp
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start on $disp." >&2; exit 1; }

# The two programs take turns, round after round; a third run of the window
# waits until the list shows every ROM.
echo "Measuring start-up: $rounds rounds after $warmup warm-up rounds per folder..."
declare -A base win full
for n in "${sizes[@]}"; do
    mapfile -t lines < <(cd "$data/roms-$n" && "$bin/zv_bench_alternate" "$rounds" "$warmup" \
        -- "$bin/zv_bench_baseline" -- "$bin/zv_bench_start" -- "$bin/zv_bench_start" "$n")
    [ ${#lines[@]} -eq 3 ] || { echo "Measuring the folder of $n ROM files failed." >&2; exit 1; }
    base[$n]=${lines[0]}
    win[$n]=${lines[1]}
    full[$n]=${lines[2]}
done
echo "Measuring one selection and Run..."
mapfile -t ops < <("$bin/zv_bench_ops" "$build/tools/quex_standin"; "$bin/zv_bench_select" "$top/data")
[ ${#ops[@]} -eq 7 ] || { echo "Measuring selection and Run failed." >&2; exit 1; }

field() { echo "$1" | awk -v i="$2" '{print $i}'; }
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v <= limit ? "ok" : "MISSED") }'; }
below() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v < limit ? "ok" : "MISSED") }'; }

echo
printf 'zerivirav benchmarks, %s, %s CPUs, Xvfb with QT_QPA_PLATFORM=xcb, medians of %s rounds\n' \
    "$(date -u +%Y-%m-%d)" "$(nproc)" "$rounds"
echo
printf '%-9s | %8s %9s %6s %-16s | %8s | %9s %10s %-14s %-17s\n' \
    "ROM files" "plain ms" "window ms" "ratio" "target" "list ms" \
    "plain MiB" "window MiB" "extra" "target"
printf '%s\n' "----------+-------------------------------------------+----------+-------------------------------------------------------"
for n in "${sizes[@]}"; do
    bms=$(field "${base[$n]}" 1) wms=$(field "${win[$n]}" 1) fms=$(field "${full[$n]}" 1)
    bkb=$(field "${base[$n]}" 4) wkb=$(field "${full[$n]}" 4)
    ratio=$(awk -v a="$wms" -v b="$bms" 'BEGIN { printf "%.2f", a / b }')
    mratio=$(awk -v a="$wkb" -v b="$bkb" 'BEGIN { printf "%.2f", a / b }')
    extra=$(awk -v a="$wkb" -v b="$bkb" 'BEGIN { printf "%+.1f", (a - b) / 1024 }')
    case $n in
        3000) ttarget="<= 1.10x $(verdict "$ratio" 1.10)"
              mtarget="<= 1.3x $(verdict "$mratio" 1.3)" ;;
        100000) ttarget="<= 1.5x $(verdict "$ratio" 1.5)"
                mtarget="<= +10 MiB $(verdict "$extra" 10)" ;;
        *) ttarget='' mtarget='' ;;
    esac
    printf '%-9s | %8.1f %9.1f %5.2fx %-16s | %8.1f | %9.1f %10.1f %-14s %-17s\n' \
        "$n" "$bms" "$wms" "$ratio" "$ttarget" "$fms" \
        "$(awk -v k="$bkb" 'BEGIN { print k / 1024 }')" "$(awk -v k="$wkb" 'BEGIN { print k / 1024 }')" \
        "$extra (${mratio}x)" "$mtarget"
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
echo "plain: a QMainWindow of the same size with one menu and a label; window: the real main window."
echo "ms: from starting the process to its exit right after the first paint."
echo "list ms: the real window again, until the first paint that shows every ROM of the folder."
echo "MiB: peak resident memory (as time -f %M); the window's is that of the run with the full list."
echo "one selection: probe, fingerprint and catalogue lookup; in the window also the labels and the"
echo "picture, read from its file each time. Run: options line, Quex.bat written, startTask returned"
echo "the pid of the exec'd stand-in (checked in /proc)."
