#!/usr/bin/env bash
# usage: wine_test.sh SUITE.exe [ARG...]
# Runs a QtTest suite built for Windows with wine and prints its log: QtTest's
# own output does not reach wine's standard output, so it is written to a file
# in the current folder (wine's drive Z:) and shown from there.
set -u
log=$(mktemp -p "$PWD" wine-test.XXXXXX.txt)
wine "$@" -o "$(basename "$log"),txt"
status=$?
cat "$log"
rm -f "$log"
exit "$status"
