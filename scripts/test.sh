#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test: the whole suite once, then the unit
# tests again under AddressSanitizer and UBSan (built with clang, so both compilers are held to
# -Wall -Wextra -Werror).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test

echo "== format check"
scripts/format.sh --check

echo "== build"
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLY_WERROR=ON
echo "== all tests"
xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir build --output-on-failure -j 2 --timeout 600

echo "== unit tests under AddressSanitizer and UBSan, built with clang"
CC=clang CXX=clang++ scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DQUENLY_SANITIZE=ON \
    -DQUENLY_GUI=OFF -DQUENLY_WERROR=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$PWD/tests/lsan_suppressions.txt" \
    ctest --test-dir build-asan --output-on-failure -j 2 -L unit --timeout 900
echo "== fuzzers"; scripts/fuzz.sh 60
