#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs one of them,
# starting from its seed corpus: scripts/fuzz.sh NAME [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ]; then
  echo "usage: scripts/fuzz.sh NAME [SECONDS]   (NAME: one of $(ls fuzz/corpus | tr '\n' ' '))" >&2
  exit 2
fi
name=$1
seconds=${2:-60}
scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF
cmake --build build-fuzz -j"$(nproc 2>/dev/null || echo 2)" --target "fuzz_$name"
work=build-fuzz/corpus-$name
mkdir -p "$work"
build-fuzz/fuzz/"fuzz_$name" -max_total_time="$seconds" "$work" "fuzz/corpus/$name"
