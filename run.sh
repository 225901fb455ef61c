#!/usr/bin/env bash
# Sets up what is missing, builds, and runs one thing:
#   ./run.sh demo                the window on its built-in simulated devices
#   ./run.sh app                 the window on this machine's real HID devices
#   ./run.sh test                the test suite
#   ./run.sh test --sanitize     the test suite built with AddressSanitizer and UBSan
#   ./run.sh fuzz [SECONDS]      the report-descriptor fuzzer on the test corpus (default 60 s)
#   ./run.sh package             the Debian package for this release (build/merovane-config_
#                                <version>+deb12_amd64.deb on 12, +deb13 on 13): built, checked,
#                                installed, its commands run
#   ./run.sh bench [--quick]     the benchmarks beside their floors (bench/README.md)
#   ./run.sh windows [--test]    the Windows programs, zip and installer in build-windows/dist,
#                                signed when MEROVANE_SIGN_PFX names a certificate (README);
#                                with --test, their tests under Wine
# Runs on Debian 12 (bookworm) and Debian 13 (trixie), and installs what is missing
# from the release's own packages (apt-get); it asks for sudo when not run as root.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"
. tools/packages.sh

# fonts-dejavu-core gives the proportional sans-serif the windows' default
# font resolves to; with Liberation's fonts alone it would be Liberation Mono.
# fonts-wine holds a bitmap-only "MS Sans Serif", which the tests check the
# window does not use; the D-Bus session, AT-SPI and pyatspi read the window
# as a screen reader does.
packages=(build-essential cmake pkg-config qt6-base-dev libgl-dev libhidapi-dev libgtest-dev
          fonts-dejavu-core fonts-liberation fonts-wine xvfb xauth x11-utils
          dbus-daemon dbus-session-bus-common at-spi2-core python3-pyatspi)
# libclang-rt-dev is the fuzzer runtime of the release's default clang
# (libclang-rt-14-dev on Debian 12, libclang-rt-19-dev on Debian 13).
fuzz_packages=(clang libclang-rt-dev xxd)
package_packages=(dpkg-dev desktop-file-utils appstream lintian)
bench_packages=(libbenchmark-dev valgrind libxcb1-dev)
windows_packages=(cmake g++-mingw-w64-x86-64-posix googletest wine wine64 nsis zip unzip xvfb
                  x11-utils osslsigncode openssl)

build() {  # build DIR [cmake options...]
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j"$(nproc)"
}

# The windows need an X display; without one Qt aborts. Say so and how to do
# without (the test suite needs none: it runs the windows off screen).
need_display() {
    if [ -n "${QT_QPA_PLATFORM:-}" ] || xdpyinfo >/dev/null 2>&1; then
        return
    fi
    local problem="none is set (DISPLAY is empty)"
    [ -z "${DISPLAY:-}" ] || problem="the display '$DISPLAY' cannot be reached"
    cat >&2 <<END
run.sh: the window needs a display, and $problem.
Start it from a desktop session (or over "ssh -X"), or, unseen, on a virtual X server:
    xvfb-run -a ./run.sh $1
END
    exit 1
}

jobs=$(nproc)
case "${1:-}" in
demo)
    install_missing "${packages[@]}"
    build build
    need_display demo
    exec build/app/merovane-config-demo
    ;;
app)
    install_missing "${packages[@]}"
    build build
    need_display app
    exec build/app/merovane-config
    ;;
test)
    install_missing "${packages[@]}"
    if [ "${2:-}" = --sanitize ]; then
        build build-sanitize -DMEROVANE_SANITIZE=ON
        export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
        export LSAN_OPTIONS=suppressions=$PWD/tests/lsan-suppressions.txt
        export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
        export MEROVANE_RANDOM_BUDGET=long
        ctest --test-dir build-sanitize --output-on-failure -j"$jobs"
    else
        build build
        ctest --test-dir build --output-on-failure -j"$jobs"
    fi
    ;;
fuzz)
    install_missing "${fuzz_packages[@]}"
    CXX=clang++ cmake -S tests/fuzz -B build-fuzz >/dev/null
    cmake --build build-fuzz -j"$jobs"
    corpus=$(mktemp -d)
    tests/fuzz/make_corpus.sh "$corpus"
    build-fuzz/fuzz_report_descriptor -max_total_time="${2:-60}" -max_len=4096 -print_final_stats=1 "$corpus"
    rm -rf "$corpus"
    ;;
package)
    install_missing "${packages[@]}" "${package_packages[@]}"
    build build
    rm -f build/merovane-config_*.deb
    (cd build && cpack -G DEB)
    deb=$(ls build/merovane-config_*.deb)
    desktop-file-validate packaging/com.merovane.Config.desktop
    appstreamcli validate --no-net packaging/com.merovane.Config.metainfo.xml
    lintian --fail-on error "$deb"
    apt_install --reinstall "./$deb"
    /usr/bin/merovane-ctl --version
    /usr/bin/merovane-ctl --simulate list
    ;;
bench)
    install_missing "${packages[@]}" "${bench_packages[@]}"
    exec bench/run "${@:2}"
    ;;
windows)
    install_missing "${windows_packages[@]}"
    if [ -n "${MEROVANE_SIGN_PFX:-}" ] && [ ! -r "$MEROVANE_SIGN_PFX" ]; then
        echo "run.sh: cannot read the certificate MEROVANE_SIGN_PFX=$MEROVANE_SIGN_PFX" >&2
        exit 1
    fi
    # Made afresh on every run, so that each is signed when a certificate is
    # given and none keeps an earlier run's signature otherwise.
    rm -f build-windows/dist/*.exe build-windows/dist/*.zip
    build build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
    packaging/windows/check-imports build-windows/dist
    if [ "${2:-}" = --test ]; then
        ctest --test-dir build-windows --output-on-failure -j"$jobs"
    fi
    ls -l build-windows/dist
    ;;
*)
    sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
