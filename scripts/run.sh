#!/usr/bin/env bash
# Installs what is missing, builds a release build, installs the desktop entries and icons of the
# application (the handler of "vantorel:" links) and of the widget for this user, and starts the
# application.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release -G "Unix Makefiles" >/dev/null
cmake --build build/release -j"$(nproc)"

scripts/install-desktop-entries.sh build/release
if command -v xdg-mime >/dev/null; then
    xdg-mime default vantorel.desktop x-scheme-handler/vantorel || true
fi

exec build/release/app/vantorel "$@"
