#!/usr/bin/env bash
# Starts a program under a virtual X server and passes when a window titled
# "Merovane Config" appears within 20 seconds (MEROVANE_WINDOW_WAIT says how
# many) and SIGTERM then closes it, the program ending with status 0 as after
# its close button (with --here, where the program runs under Wine's
# launcher, only the window counts).
#   window_shows.sh PROGRAM [ARGUMENTS...]
#   window_shows.sh --here PROGRAM [ARGUMENTS...]   on the X server of $DISPLAY
set -uo pipefail
here=false
[ "${1:-}" = --here ] && { here=true; shift; }
[ $# -ge 1 ] || { echo "usage: $0 [--here] PROGRAM [ARGUMENTS...]" >&2; exit 2; }
export QT_QPA_PLATFORM=xcb

watch=$(cat <<'SCRIPT'
"$@" & pid=$!
for _ in $(seq $((${MEROVANE_WINDOW_WAIT:-20} * 10))); do
    if xwininfo -root -tree | grep -q "\"Merovane Config\""; then
        kill "$pid"; wait "$pid"; status=$?
        if [ "$MEROVANE_SMOKE_CLEAN_EXIT" = yes ] && [ $status -ne 0 ]; then
            echo "SIGTERM did not close the window (status $status)" >&2; exit 3
        fi
        echo "window shown"
        exit 0
    fi
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; echo "the program ended ($?) without a window" >&2; exit 3; }
    sleep 0.1
done
kill "$pid"; echo "no window within ${MEROVANE_WINDOW_WAIT:-20} s" >&2; exit 3
SCRIPT
)

if $here; then
    MEROVANE_SMOKE_CLEAN_EXIT=no bash -c "$watch" window_shows "$@"
    [ $? -eq 0 ]
    exit
fi

# xvfb-run picks a free display number racily: when the server fails to start
# (xvfb-run's own status 1) it is tried again; a program that fails (3) is not.
for attempt in 1 2 3; do
    MEROVANE_SMOKE_CLEAN_EXIT=yes xvfb-run -a -e /dev/stderr -s "-screen 0 1024x768x24" \
        bash -c "$watch" window_shows "$@"
    status=$?
    [ $status -eq 0 ] && exit 0
    [ $status -eq 3 ] && exit 1
    echo "attempt $attempt: the X server did not start (status $status)" >&2
    sleep 1
done
exit 1
