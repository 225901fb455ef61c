#!/usr/bin/env bash
# Starts a program under a virtual X server and passes when a window titled
# "Merovane Config" appears within 20 seconds.
#   window_shows.sh PROGRAM
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 PROGRAM" >&2; exit 2; }
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" & pid=$!
    for _ in $(seq 200); do
        if xwininfo -root -tree | grep -q "\"Merovane Config\""; then
            kill "$pid"; wait "$pid" 2>/dev/null || true
            echo "window shown"
            exit 0
        fi
        kill -0 "$pid" 2>/dev/null || { echo "the program ended without a window" >&2; exit 1; }
        sleep 0.1
    done
    kill "$pid"; echo "no window within 20 s" >&2; exit 1
' window_shows "$1"
