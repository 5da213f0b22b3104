#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench) and runs them all, or the
# ones named on the command line (bench_<name>).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON -DQUILLON_TESTS=OFF
cmake --build build-bench -j"$(nproc 2>/dev/null || echo 2)"
if [ $# -gt 0 ]; then
  for name in "$@"; do build-bench/bench/"bench_$name"; done
else
  for b in build-bench/bench/bench_*; do [ -x "$b" ] && "$b"; done
fi
