#!/usr/bin/env bash
# The installer under Wine, mostly silently (/S), as an administrator's script runs it:
#   installer_test.sh WINE_RUN PREFIX INSTALLER.exe VERSION press_cancel.exe
# An older version is installed into a folder of its own choosing (/D= takes no quotes, so no blank).
# The installer cancelled on its first page, or run while the installed
# merovane-ctl.exe runs, leaves it as it was; then it installs over it; the
# programs run from the installed folder; the uninstaller leaves nothing.
set -euo pipefail
wine_run=$1 prefix=$2 installer=$3 version=$4 press_cancel=$5
export WINEPREFIX=$prefix WINEDEBUG=-all
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\MerovaneConfig'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
registered() {  # registered VALUE: the value in the uninstall entry, empty when none
    "$wine_run" "$prefix" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
unix_path() { "$wine_run" "$prefix" winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# An older release, made from the same programs.
makensis -V1 -DVERSION=0.0.1 -DDIST="$(cd "$(dirname "$installer")" && pwd)" -DOUTFILE="$work/old-setup.exe" \
    "$(dirname "$0")/../../packaging/windows/installer.nsi"
"$wine_run" "$prefix" "$work/old-setup.exe" /S '/D=C:\MerovaneOld'
[ "$(registered DisplayVersion)" = 0.0.1 ] || fail "the older version is not registered"
old=$(unix_path 'C:\MerovaneOld')
[ -f "$old/merovane-ctl.exe" ] || fail "the older version is not in its folder"

still_old() {  # still_old WHEN: the older version is installed, whole and registered
    [ "$(registered DisplayVersion)" = 0.0.1 ] || fail "$1: the older version's entry is gone"
    for file in merovane-config.exe merovane-ctl.exe README.txt uninstall.exe; do
        [ -f "$old/$file" ] || fail "$1: $file is gone"
    done
    "$wine_run" "$prefix" "$old/merovane-ctl.exe" --version >/dev/null || fail "$1: the older version does not run"
}

# Cancel on the first page (the folder).
"$wine_run" "$prefix" "$installer" &
setup=$!
"$wine_run" "$prefix" "$press_cancel" "Merovane Config Setup" || fail "no installer window to cancel"
wait $setup || true
still_old "cancelled"

# The installed merovane-ctl.exe runs: the installer stops (status 2) and changes nothing.
"$wine_run" "$prefix" "$old/merovane-ctl.exe" --simulate watch >"$work/watch.txt" &
running=$!
for _ in $(seq 120); do [ -s "$work/watch.txt" ] && break; sleep 0.5; done  # it has started
[ -s "$work/watch.txt" ] || fail "merovane-ctl.exe watch did not start"
status=0
"$wine_run" "$prefix" "$installer" /S || status=$?
kill $running
wait $running || true
[ $status = 2 ] || fail "installing while merovane-ctl.exe runs: status $status, wanted 2"
still_old "merovane-ctl.exe running"

# The upgrade: into the older version's folder, one entry, the new version.
"$wine_run" "$prefix" "$installer" /S
[ "$(registered DisplayVersion)" = "$version" ] || fail "DisplayVersion is not $version"
[ "$(registered InstallLocation)" = 'C:\MerovaneOld' ] || fail "installed elsewhere"
[ ! -e "$(unix_path 'C:\Program Files\Merovane Config')" ] || fail "a second copy was installed"
for file in merovane-config.exe merovane-ctl.exe README.txt uninstall.exe; do
    [ -f "$old/$file" ] || fail "$file missing"
done
shown=$("$wine_run" "$prefix" "$old/merovane-ctl.exe" --version | tr -d '\r')
[ "$shown" = "merovane-ctl $version" ] || fail "the installed program says '$shown'"
[ -f "$(unix_path 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')/Merovane Config.lnk" ] ||
    fail "no Start-menu entry"

# The uninstaller, as Apps & features starts it; it finishes from a copy of
# itself, so its work is awaited.
"$wine_run" "$prefix" "$old/uninstall.exe" /S
for _ in $(seq 60); do
    if [ ! -e "$old" ] && [ -z "$(registered DisplayName)" ]; then
        break
    fi
    sleep 0.5
done
[ ! -e "$old" ] || fail "the folder is still there: $(ls "$old")"
[ -z "$(registered DisplayName)" ] || fail "the uninstall entry is still there"
[ ! -e "$(unix_path 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')/Merovane Config.lnk" ] ||
    fail "the Start-menu entry is still there"
echo "installed 0.0.1, upgraded to $version in place, uninstalled"
