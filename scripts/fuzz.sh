#!/usr/bin/env bash
# Builds the reader fuzzers with clang and runs each for a bounded time on a scratch copy of its
# seed corpus. Usage: scripts/fuzz.sh [seconds per fuzzer, default 60]
# Exits non-zero on any finding (crash, leak, timeout, running out of memory) and prints the
# path of the input that reproduces it; the repository itself is never written.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build-fuzz

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUENLY_FUZZ=ON -DQUENLY_GUI=OFF -DQUENLY_WERROR=ON >/dev/null
fi
cmake --build "$build" -j 2 --target xlsx_reader_fuzz xls_reader_fuzz ini_file_fuzz

run=$build/fuzz-run
rm -rf "$run"
mkdir -p "$run"
failed=0
for pair in xlsx_reader_fuzz:xlsx xls_reader_fuzz:xls ini_file_fuzz:ini; do
    fuzzer=${pair%%:*}
    kind=${pair##*:}
    corpus=$run/$fuzzer/corpus
    artifacts=$run/$fuzzer/findings
    mkdir -p "$corpus" "$artifacts"
    cp tests/data/fuzz/"$kind"/* "$corpus"/
    if [ -d tests/data/fuzz/regressions/"$kind" ]; then
        cp tests/data/fuzz/regressions/"$kind"/* "$corpus"/
    fi
    log=$run/$fuzzer/log.txt
    echo "-- $fuzzer: ${seconds} s on $(ls "$corpus" | wc -l) seeds"
    dict=()
    if [ -f tests/fuzz/"$fuzzer".dict ]; then
        dict=(-dict=tests/fuzz/"$fuzzer".dict)
    fi
    status=0
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/fuzz/$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$artifacts/" -print_final_stats=1 "${dict[@]}" "$corpus" >"$log" 2>&1 ||
        status=$?
    grep -E '^stat::number_of_executed_units|^Done ' "$log" || true
    found=$(ls "$artifacts")
    if [ "$status" -ne 0 ] || [ -n "$found" ]; then
        failed=1
        echo "!! $fuzzer found a fault (exit status $status); the end of its log ($log):"
        grep -E 'ERROR|SUMMARY|runtime error|==[0-9]+==' "$log" | head -20 || true
        tail -30 "$log"
        for f in $found; do
            echo "!! reproduce with: $build/fuzz/$fuzzer $artifacts/$f"
        done
    fi
done
if [ "$failed" -ne 0 ]; then
    echo "== the fuzzers found faults (see above)"
    exit 1
fi
echo "== no fuzzer found a fault"
