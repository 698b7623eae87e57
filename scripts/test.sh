#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test twice: in the
# debug build and in the AddressSanitizer/UBSan build. Each run gets a throwaway home, a private
# D-Bus session and an unlocked throwaway gnome-keyring.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
run_suite() {
    local preset=$1
    echo "== ${preset}: configure and build"
    cmake --preset "$preset" -G "Unix Makefiles" -DVANTOREL_WERROR=ON >/dev/null
    cmake --build "build/$preset" -j"$jobs"

    echo "== ${preset}: tests"
    local home
    home=$(mktemp -d)
    mkdir -p "$home/runtime" && chmod 700 "$home" "$home/runtime"
    env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_RUNTIME_DIR="$home/runtime" \
        XDG_DATA_HOME="$home/.local/share" XDG_CONFIG_HOME="$home/.config" \
        XDG_CACHE_HOME="$home/.cache" QT_QPA_PLATFORM=offscreen VANTOREL_REAL_KEYRING=1 \
        ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
        LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
        UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        dbus-run-session -- bash -c '
            echo -n ci | gnome-keyring-daemon --unlock --components=secrets >/dev/null
            ctest --test-dir "build/'"$preset"'" --output-on-failure -j"'"$jobs"'"'
    rm -rf "$home"
}

run_suite debug
run_suite asan
