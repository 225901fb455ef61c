# shellcheck shell=bash
# Sourced by the scripts that set up a Debian 12 (bookworm) or Debian 13
# (trixie) machine (run.sh, tests/vm, tools/in-debian-root): running a command
# as root, and installing missing packages with apt-get. The package names
# these scripts ask for are the same on both releases.

# Runs a command that installs packages as root: directly when this is root,
# through sudo otherwise. Without sudo it says what to do instead and ends the
# script.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        local user
        user=$(id -un)
        cat >&2 <<END
$(basename "$0"): installing packages needs root, and $user is not root and has no sudo.
Either run the same command again as root (log in as root, or use "su -"),
or let $user use sudo: as root, run
    apt-get install sudo && adduser $user sudo
then log out and in again, and repeat the command.
END
        exit 1
    fi
}

# apt-get install, as root and without questions or recommendations. When
# another apt or dpkg holds the package lock (unattended upgrades, a second
# install), it waits up to ten minutes for it.
apt_install() {
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
        --no-install-recommends "$@"
}

# apt-get update, as root. apt's lock timeout does not cover the lock of the
# package lists, so another apt holding it is waited for here, up to ten
# minutes.
apt_update() {
    local attempt log
    for attempt in $(seq 60); do
        if log=$(as_root env LC_ALL=C apt-get update -qq 2>&1); then
            [ -z "$log" ] || printf '%s\n' "$log" >&2
            return 0
        fi
        grep -q '^E: Could not get lock' <<<"$log" || break
        [ "$attempt" -gt 1 ] || echo "Waiting for another apt or dpkg to let go of its lock ..." >&2
        sleep 10
    done
    printf '%s\n' "$log" >&2
    return 1
}

# Installs those of the named packages that are not installed yet.
install_missing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "$(basename "$0"): installing ${missing[*]}" >&2
    as_root true # says what to do, and stops, when this user cannot become root
    apt_update
    apt_install "${missing[@]}"
}
