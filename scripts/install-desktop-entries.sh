#!/usr/bin/env bash
# Writes the desktop entries and icons of the application and the widget of a build for this user,
# so that the desktop lists both and opens "vantorel:" links with the application.
#   scripts/install-desktop-entries.sh BUILD_DIR [DATA_DIR]   (DATA_DIR: ~/.local/share)
set -euo pipefail
build=$(cd "$1" && pwd)
data_home=${2:-${XDG_DATA_HOME:-$HOME/.local/share}}
cmake -DVANTOREL_EXEC="$build/app/vantorel" -DGLIMMERWICK_EXEC="$build/widget/glimmerwick" \
      -DDATA_DIR="$data_home" -P "$(dirname "$0")/../cmake/InstallDesktopEntry.cmake" >/dev/null
