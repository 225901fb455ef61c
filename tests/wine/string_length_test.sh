#!/usr/bin/env bash
# The Win32 host reads device strings into 252 bytes (126 UTF-16 units) at
# most: Wine's trace of hid.dll shows the length each string call is told,
# while the host reads the strings of Wine's own HID devices.
#   string_length_test.sh WINE_RUN PREFIX win32_host_test.exe
set -uo pipefail
wine_run=$1 prefix=$2 tests=$3
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT
MEROVANE_WINE_TRACE=hid "$wine_run" "$prefix" "$tests" \
    --gtest_filter=Win32HostOnThisMachine.ReadsEachDevicesAttributesStringsAndCaps >/dev/null 2>"$trace"
lengths=$(grep -E 'HidD_Get(SerialNumber|Manufacturer|Product)String' "$trace" |
    grep -oE 'buffer_len [0-9]+' | cut -d' ' -f2 | sort -un)
echo "string calls told:" $lengths
[ -n "$lengths" ] || { echo "FAIL: no string call seen" >&2; exit 1; }
[ "$(echo "$lengths" | tail -1)" -le 252 ] || { echo "FAIL: more than 252 bytes asked" >&2; exit 1; }
