#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each from its corpus in the repository.
#   scripts/fuzz.sh [seconds-per-target] [target...]
# CI runs them briefly; by hand, give a longer time. New inputs that widen coverage go to
# build-fuzz/corpus/<target>, crashes to build-fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(Dispatcher Settings PrintoutHeader Basic)

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBRINDLE_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j2

declare -A corpus=([Dispatcher]=dispatcher [Settings]=settings [PrintoutHeader]=printout_header
                   [Basic]=basic)
# Every input lays out and checks a tree of files: in memory where the machine has room for it.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
    name=${corpus[$target]}
    mkdir -p "build-fuzz/corpus/$name" "build-fuzz/findings/$name"
    echo "== Fuzz$target for ${seconds}s"
    build-fuzz/fuzz/Fuzz"$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$name/" \
        "build-fuzz/corpus/$name" "fuzz/corpus/$name"
done
