#!/usr/bin/env bash
# Installs what is missing, builds a release build and starts the application.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release -G "Unix Makefiles" >/dev/null
cmake --build build/release -j"$(nproc)"

if [[ -x build/release/app/vantorel ]]; then
    exec build/release/app/vantorel "$@"
fi
echo "The application program does not exist yet; starting the desktop widget instead."
exec build/release/widget/glimmerwick "$@"
