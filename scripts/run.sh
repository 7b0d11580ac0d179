#!/usr/bin/env bash
# Installs what Quenly needs, builds it and starts the main window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DQUENLY_TESTS=OFF
exec build/bin/quenly "$@"
