#!/usr/bin/env bash
# usage: wine_prefix.sh setup|cleanup PREFIX
# The tests' private wine prefix: made afresh for each test run (wineboot,
# no Mono or Gecko installer), and at the end its wine server and every
# program of it ended. The user's own wine set-up is never touched.
set -euo pipefail
action=$1
export WINEPREFIX=$2 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
case $action in
setup)
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    test -d "$WINEPREFIX/drive_c/windows" || { echo "wineboot did not make $WINEPREFIX" >&2; exit 1; }
    ;;
cleanup)
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    # Nothing of this prefix may be left running (this script and what it
    # starts carry the variable too, and do not count).
    left=
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        [ "$pid" = $$ ] && continue
        read -r _ _ _ ppid _ < "$dir/stat" 2>/dev/null || continue
        [ "$ppid" = $$ ] && continue
        while IFS= read -r -d '' var; do
            [ "$var" = "WINEPREFIX=$WINEPREFIX" ] && left+=" $pid"
        done 2>/dev/null < "$dir/environ" || true
    done
    if [ -n "$left" ]; then
        echo "wine processes left behind: $left" >&2
        kill -9 $left 2>/dev/null || true
        exit 1
    fi
    ;;
*)
    echo "usage: $0 setup|cleanup PREFIX" >&2
    exit 2
    ;;
esac
