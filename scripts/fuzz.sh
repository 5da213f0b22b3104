#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang (build-fuzz) and runs them, each
# starting from its seed corpus:
#   scripts/fuzz.sh NAME [SECONDS]   one target (default 60 seconds)
#   scripts/fuzz.sh all [SECONDS]    every target in turn, SECONDS each
# Each run ends with one line: target, runs, runs per second, edges covered,
# corpus entries and bytes, findings (crash, leak, timeout and out-of-memory
# inputs, kept in build-fuzz/findings-NAME/). With FUZZ_MERGE=1 what a run
# found that adds coverage is merged (-merge=1) into fuzz/corpus/NAME.
# With FUZZ_PARALLEL=N, N targets run at a time (each on one process).
set -euo pipefail
cd "$(dirname "$0")/.."
targets=$(ls fuzz/corpus | grep -v '\.md$' | tr '\n' ' ')
if [ $# -lt 1 ]; then
  echo "usage: scripts/fuzz.sh NAME|all [SECONDS]   (NAME: one of $targets)" >&2
  exit 2
fi
name=$1
seconds=${2:-60}
if [ "$name" = all ]; then
  names=$targets
else
  [ -d "fuzz/corpus/$name" ] || { echo "scripts/fuzz.sh: no fuzz target \"$name\" (one of $targets)" >&2; exit 2; }
  names=$name
fi

scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF >/dev/null
for n in $names; do
  cmake --build build-fuzz -j2 --target "fuzz_$n"
done

# Runs one target and writes its summary line to build-fuzz/summary-NAME.
run_target() {
  local n=$1
  local work=build-fuzz/corpus-$n findings=build-fuzz/findings-$n log=build-fuzz/fuzz-$n.log
  mkdir -p "$work" "$findings"
  # A finding ends libFuzzer's run; the summary still reports it.
  build-fuzz/fuzz/"fuzz_$n" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "fuzz/corpus/$n" >"$log" 2>&1 || true
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|ERROR' "$log" | sed "s/^/$n: /" || true
  if [ "${FUZZ_MERGE:-0}" = 1 ]; then
    build-fuzz/fuzz/"fuzz_$n" -merge=1 "fuzz/corpus/$n" "$work" >/dev/null 2>&1
  fi
  local runs speed edges entries bytes found
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  edges=$(grep -oE ' cov: [0-9]+' "$log" | tail -1 | tr -dc 0-9)
  entries=$(ls "fuzz/corpus/$n" | wc -l)
  bytes=$(du -sb "fuzz/corpus/$n" | cut -f1)
  found=$(ls "$findings" | wc -l)
  printf '%-16s %10s %8s %7s %8s %10s %8s\n' "$n" "${runs:-?}" "${speed:-?}" "${edges:-?}" \
    "$entries" "$bytes" "$found" >"build-fuzz/summary-$n"
}

parallel=${FUZZ_PARALLEL:-1}
for n in $names; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  run_target "$n" &
done
wait

printf '\n%-16s %10s %8s %7s %8s %10s %8s\n' target runs runs/s edges entries bytes findings
for n in $names; do cat "build-fuzz/summary-$n"; done
