#!/usr/bin/env bash
# A hid.dll and a comctl32.dll planted beside the programs, whose DllMain
# writes C:\planted-hid.txt or C:\planted-comctl32.txt, are never loaded:
#   planted_dll_test.sh WINE_RUN PREFIX WINDOW_DISPLAY DIST-FOLDER PORTABLE.zip PLANTED-FOLDER
# Beside the built programs and in the unpacked portable zip, merovane-ctl.exe
# lists the virtual dividers and Wine's own devices (through System32's
# hid.dll), and merovane-config.exe shows its window. Without any hid.dll
# merovane-ctl.exe fails cleanly.
set -uo pipefail
wine_run=$1 prefix=$2 window_display=$3 dist=$4 zip=$5 planted=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
markers=("$prefix/drive_c/planted-hid.txt" "$prefix/drive_c/planted-comctl32.txt")

mkdir "$work/built" "$work/unpacked"
cp "$dist/merovane-config.exe" "$dist/merovane-ctl.exe" "$work/built"
unzip -q "$zip" -d "$work/unpacked"
folders=("$work/built" "$(dirname "$(ls "$work"/unpacked/*/merovane-ctl.exe)")")

for folder in "${folders[@]}"; do
    cp "$planted/hid.dll" "$planted/comctl32.dll" "$folder"
    rm -f "${markers[@]}"
    # Run from their folder, as a double-click in Downloads starts them.
    (cd "$folder" && "$wine_run" "$prefix" ./merovane-ctl.exe --simulate list) >"$work/out" 2>&1
    grep -q MV2B-00417 "$work/out" || fail "$folder: merovane-ctl.exe --simulate list: $(cat "$work/out")"
    (cd "$folder" && "$wine_run" "$prefix" ./merovane-ctl.exe list) >"$work/out" 2>&1
    grep -q "no Merovane clock divider attached" "$work/out" ||
        fail "$folder: merovane-ctl.exe list: $(cat "$work/out")"
    (cd "$folder" && "$window_display" shows "$prefix" ./merovane-config.exe) >/dev/null ||
        fail "$folder: merovane-config.exe shows no window"
    for marker in "${markers[@]}"; do
        [ ! -e "$marker" ] || fail "$folder: the planted $(basename "$marker" .txt | cut -d- -f2).dll was loaded"
    done
done

# No hid.dll at all (Wine told to load none): the host reports failure, the
# program says it found no divider and ends with its status, not a crash.
cp "$dist/merovane-ctl.exe" "$work/built/ctl-without-hid.exe"
"$wine_run" "$prefix" reg add 'HKCU\Software\Wine\AppDefaults\ctl-without-hid.exe\DllOverrides' \
    /v hid /d "" /f >/dev/null 2>&1
"$wine_run" "$prefix" "$work/built/ctl-without-hid.exe" list >"$work/out" 2>&1
status=$?
[ $status = 1 ] && grep -q "no Merovane clock divider attached" "$work/out" ||
    fail "without hid.dll: status $status: $(cat "$work/out")"
exit $failed
