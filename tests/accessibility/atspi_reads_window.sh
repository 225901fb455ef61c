#!/usr/bin/env bash
# Reads the window through the AT-SPI registry (atspi_reads_window.py), in a
# D-Bus session of its own on a virtual X server:
#   atspi_reads_window.sh PROGRAM
# The session bus starts the accessibility bus and its registry on demand;
# Qt joins it without waiting to be asked by a running screen reader.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
exec dbus-run-session -- xvfb-run -a -s "-screen 0 1024x768x24" \
    /usr/bin/python3 "$here/atspi_reads_window.py" "$@"
