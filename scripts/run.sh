#!/usr/bin/env bash
# Installs what is missing, builds a release build, installs the desktop entry (the handler of
# "vantorel:" links) and the icon for this user, and starts the application.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release -G "Unix Makefiles" >/dev/null
cmake --build build/release -j"$(nproc)"

data_home=${XDG_DATA_HOME:-$HOME/.local/share}
cmake -DVANTOREL_EXEC="$PWD/build/release/app/vantorel" -DDATA_DIR="$data_home" \
      -P cmake/InstallDesktopEntry.cmake >/dev/null
if command -v xdg-mime >/dev/null; then
    xdg-mime default vantorel.desktop x-scheme-handler/vantorel || true
fi

exec build/release/app/vantorel "$@"
