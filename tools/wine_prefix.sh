#!/usr/bin/env bash
# usage: wine_prefix.sh setup|cleanup TEMPLATE
#        wine_prefix.sh run TEMPLATE -- COMMAND [ARG...]
# The tests' private wine prefixes. "setup" makes the template afresh for
# each test run (wineboot, no Mono or Gecko installer); "run" gives one test
# a copy of its own, so that no two tests ever share a wine server, and ends
# the copy's wine server and everything of it when the test ends; "cleanup"
# does the same for the template. The user's own wine set-up is never touched.
# The copies live in the temporary folder, not beside the template: a test
# may run wine as another user, who cannot enter a checkout in a private
# home folder.
set -euo pipefail
action=$1
template=$2
# No Mono or Gecko installer, and no menu entries in the desktop of the user
# running the tests for programs installed in a prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEDEBUG=-all

# Ends the prefix's wine server and fails if any process of it is left.
end_prefix() {
    local prefix=$1 left= dir pid ppid var name
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1 || true
    # This script and what it starts carry the variable too, and do not count.
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        [ "$pid" = $$ ] && continue
        { read -r _ _ _ ppid _ < "$dir/stat"; } 2>/dev/null || continue
        [ "$ppid" = $$ ] && continue
        while IFS= read -r -d '' var; do
            [ "$var" = "WINEPREFIX=$prefix" ] && left+=" $pid"
        done 2>/dev/null < "$dir/environ" || true
    done
    # Debian's wine keeps its server's sockets in a folder of a random name,
    # which the prefix records.
    name=$(cat "$prefix/wineserver" 2>/dev/null || true)
    case $name in wine-*[!A-Za-z0-9-]* | "") ;; wine-*) rm -rf "${TMPDIR:-/tmp}/$name" ;; esac
    if [ -n "$left" ]; then
        echo "wine processes left behind in $prefix:$left" >&2
        kill -9 $left 2>/dev/null || true
        return 1
    fi
}

case $action in
setup)
    export WINEPREFIX=$template
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1
    # A crash ends the program with its status rather than waiting on wine's
    # "Program Error" box.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    test -d "$WINEPREFIX/drive_c/windows" || { echo "wineboot did not make $WINEPREFIX" >&2; exit 1; }
    ;;
run)
    shift 2
    [ "${1:-}" = "--" ] && shift
    own=$(mktemp -d "${TMPDIR:-/tmp}/zv-wine-prefix.XXXXXX")
    chmod 755 "$own"
    finish() {
        end_prefix "$own" || status=1
        rm -rf "$own"
    }
    status=0
    trap 'finish; exit 1' TERM INT HUP
    cp -a "$template/." "$own/"
    rm -f "$own/wineserver" # the copy gets a server folder of its own
    WINEPREFIX=$own "$@" || status=$?
    trap - TERM INT HUP
    finish
    exit $status
    ;;
cleanup)
    end_prefix "$template"
    ;;
*)
    echo "usage: $0 setup|cleanup TEMPLATE | run TEMPLATE -- COMMAND..." >&2
    exit 2
    ;;
esac
