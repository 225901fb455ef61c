#!/usr/bin/env bash
# merovane-ctl.exe under Wine, as a script on Windows runs it:
#   ctl_program_test.sh WINE_RUN PREFIX merovane-ctl.exe
# On the demo's virtual dividers: the list as JSON, a mode set, a bad mode
# (status 2), an unknown serial (status 1). On this machine's real HID
# devices (Wine's own mouse and keyboard): no divider (status 1).
set -uo pipefail
wine_run=$1 prefix=$2 ctl=$3
failed=0
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# expect STATUS STDOUT-PATTERN STDERR-PATTERN ARGUMENTS...: Windows ends
# lines with "\r\n" on the console and in pipes alike; the patterns (extended
# regular expressions over the whole output) see "\n".
expect() {
    local status=$1 out_pattern=$2 err_pattern=$3
    shift 3
    "$wine_run" "$prefix" "$ctl" "$@" >"$out" 2>"$err"
    local got=$?
    local shown_out shown_err
    shown_out=$(tr -d '\r' <"$out") shown_err=$(tr -d '\r' <"$err")
    if [ "$got" != "$status" ] || ! [[ $shown_out =~ $out_pattern ]] ||
        ! [[ $shown_err =~ $err_pattern ]]; then
        echo "FAIL: merovane-ctl $*: status $got (wanted $status)" >&2
        echo "  out: $shown_out" >&2
        echo "  err: $shown_err" >&2
        failed=1
    fi
}

expect 0 '"serial": "MV2B-00417".*"serial": "MV2B-00988"' '^$' --simulate list --json
expect 0 '^MV2B-00988: Divide By 8$' '^$' --simulate set --serial MV2B-00988 div8
expect 2 '^$' "^merovane-ctl: unknown mode 'sideways' \(see merovane-ctl --help\)$" set sideways
expect 1 '^$' '^merovane-ctl: ' --simulate get --serial NO-SUCH-SERIAL
expect 1 '^\[\]$' '^merovane-ctl: no Merovane clock divider attached$' list --json
exit $failed
