#!/usr/bin/env bash
# Installs what Quenly needs, builds it and starts the main window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
scripts/build.sh build-release -DCMAKE_BUILD_TYPE=Release -DQUENLY_TESTS=OFF
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Quenly is a desktop program and needs a display (DISPLAY is not set)." >&2
    echo "Without one, make slips with: build-release/bin/quenly-batch SOURCE RESULT --rows 1-2 --cols A-J" >&2
    exit 1
fi
exec build-release/bin/quenly "$@"
