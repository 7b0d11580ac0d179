#!/usr/bin/env bash
# Installs what Quenly needs, builds it and starts the main window, or with `send` as the first
# argument the sending window (quenly-send).
set -euo pipefail
cd "$(dirname "$0")/.."
program=quenly
if [ "${1:-}" = send ]; then
    program=quenly-send
    shift
fi
scripts/setup.sh run
scripts/build.sh build-release -DCMAKE_BUILD_TYPE=Release -DQUENLY_TESTS=OFF
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Quenly is a desktop program and needs a display (DISPLAY is not set)." >&2
    if [ "$program" = quenly-send ]; then
        echo "Without one, send slips with: build-release/bin/quenly-batch SOURCE --mail SETTINGS.ini --to-col COL --name-col COL" >&2
    else
        echo "Without one, make slips with: build-release/bin/quenly-batch SOURCE RESULT --rows 1-2 --cols A-J" >&2
    fi
    exit 1
fi
exec "build-release/bin/$program" "$@"
