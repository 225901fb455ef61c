#!/usr/bin/env bash
# The Win32 host reads device strings into 252 bytes (126 UTF-16 units) at
# most, as Wine's trace of hid.dll shows while it reads Wine's own devices':
#   string_length_test.sh WINE_RUN PREFIX win32_host_test.exe
set -uo pipefail
lengths=$(MEROVANE_WINE_TRACE=hid "$1" "$2" "$3" \
    --gtest_filter=Win32HostOnThisMachine.ReadsEachDevicesAttributesStringsAndCaps 2>&1 >/dev/null |
    grep -E 'HidD_Get(SerialNumber|Manufacturer|Product)String' | grep -oE 'buffer_len [0-9]+' |
    cut -d' ' -f2 | sort -un)
echo "string calls told:" $lengths
[ -n "$lengths" ] && [ "$(echo "$lengths" | tail -1)" -le 252 ]
