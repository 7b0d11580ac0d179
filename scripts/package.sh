#!/usr/bin/env bash
# Builds Quenly for release and makes its Debian package with CPack, printing the package's path.
# Install it with: sudo apt install ./build-package/package/quenly_<version>_<arch>.deb
# Usage: scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
dir=${1:-build-package}
scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=Release -DQUENLY_TESTS=OFF
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$PWD/$dir"/package/*.deb
