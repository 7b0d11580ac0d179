#!/usr/bin/env bash
# Draws the main window (as it opens and after an export), the header options dialog and the
# sending window (just opened, with problems, sending, done; it sends to a local test server)
# into docs/screenshots/, under Xvfb. Usage: scripts/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
dir=${1:-build}
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja -DQUENLY_GUI=ON -DQUENLY_TESTS=ON >/dev/null
fi
cmake --build "$dir" --target quenly-screenshots -j 2
mkdir -p docs/screenshots
xvfb-run -a -s "-screen 0 1280x1024x24" "$dir/bin/quenly-screenshots" docs/screenshots 2>/dev/null
