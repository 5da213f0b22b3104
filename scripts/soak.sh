#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The long watch: `quillon-cli watch` (Release build, build-bench) runs while
# files arrive at RATE a second in bursts for SECONDS (some written slowly,
# some replaced, some removed, the journal's lock now and then held by another
# process; tests/faults/SoakFeed.cpp). Every 10 s it samples the watch's
# resident memory, open descriptors and CPU time; after the feed it measures
# the CPU used over 30 idle seconds. At the end it checks that no arrived file
# is left unnamed, that no name was given twice and that each replaced file was
# renamed exactly once, under the name its last version proposes, and prints
# the curve.
#
#   scripts/soak.sh [SECONDS (default 1800)] [RATE (default 20)]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1800}
rate=${2:-20}
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON -DQUILLON_TESTS=OFF >/dev/null
cmake --build build-bench -j"$jobs" --target quillon-cli >/dev/null
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_TESTS=ON >/dev/null
cmake --build build-test -j"$jobs" --target test_faults >/dev/null
cli=$(realpath build-bench/cli/quillon-cli)
feeder=$(realpath build-test/tests/test_faults)

work=$(mktemp -d /tmp/quillon-soak-XXXXXX)
export XDG_STATE_HOME=$work/state
mkdir -p "$work/in" "$XDG_STATE_HOME/quillon"
"$cli" watch --settle 2 "$work/in" >"$work/watch.out" 2>"$work/watch.err" &
watch=$!
ASAN_OPTIONS=detect_leaks=0 "$feeder" --soak-feed "$work/in" "$seconds" "$rate" \
  "$XDG_STATE_HOME/quillon/journal.jsonl.lock" "$work/replaced.txt" >"$work/feed.out" &
feed=$!
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$watch/stat"; }
sample() {
  printf '%6d %8d %5d %8.2f %7d\n' "$1" "$(awk '/^VmRSS/ {print $2}' "/proc/$watch/status")" \
    "$(ls "/proc/$watch/fd" | wc -l)" "$(echo "$(cpu) / $ticks" | bc -l)" \
    "$(grep -c '^renamed' "$work/watch.out" || true)"
}
start=$(date +%s)
echo "     s   rss_kB   fds    cpu_s renamed" | tee "$work/curve.txt"
while kill -0 "$feed" 2>/dev/null; do
  sample $(( $(date +%s) - start )) | tee -a "$work/curve.txt"
  sleep 10
done
wait "$feed"
sleep 10 # the last files settle
sample $(( $(date +%s) - start )) | tee -a "$work/curve.txt"
idle0=$(cpu)
sleep 30
idle1=$(cpu)
sample $(( $(date +%s) - start )) | tee -a "$work/curve.txt"
kill -TERM "$watch"
status=0
wait "$watch" || status=$?

# Standard names hold an underscore before the format letters; counter names do not.
unnamed=$(find "$work/in" -maxdepth 1 -name '*.mpd' ! -name '*_*' | wc -l)
renamed=$(grep -c '^renamed' "$work/watch.out" || true)
failed=$(grep -c '^failed' "$work/watch.out" || true)
twice=$(awk -F'\t' '$1 == "renamed" {print $3}' "$work/watch.out" | sort | uniq -d | wc -l)
files=$(find "$work/in" -maxdepth 1 -type f | wc -l)
# Replaced files: one renamed row each, to the name of the second version.
read -r replacedOnce replacedWrong < <(awk -F'\t' '
    FNR == NR {want[$1] = $2; next}
    $1 == "renamed" && ($2 in want) {n[$2]++; if (index($3, want[$2]) != 1) wrong[$2] = 1}
    END {once = bad = 0
         for (f in want) if (n[f] == 1 && !(f in wrong)) once++; else bad++
         print once, bad}' "$work/replaced.txt" "$work/watch.out")
# The curve after the first minute: lowest and highest memory and descriptors.
read -r rssLow rssHigh fdLow fdHigh < <(awk 'NR > 1 && $1 >= 60 {
    if (!n++) { rl = rh = $2; fl = fh = $3 }
    if ($2 < rl) rl = $2; if ($2 > rh) rh = $2; if ($3 < fl) fl = $3; if ($3 > fh) fh = $3
  } END {print rl + 0, rh + 0, fl + 0, fh + 0}' "$work/curve.txt")
{
  cat "$work/feed.out"
  echo "watch_exit=$status"
  echo "renamed=$renamed failed=$failed named_twice=$twice left_unnamed=$unnamed files_in_folder=$files"
  echo "replaced_renamed_once_as_last_version=$replacedOnce replaced_otherwise=$replacedWrong"
  echo "rss_kB_after_60s=$rssLow..$rssHigh fds_after_60s=$fdLow..$fdHigh"
  echo "idle_cpu_s_over_30s=$(echo "($idle1 - $idle0) / $ticks" | bc -l | sed 's/^\./0./')"
  echo "journal_bytes=$(stat -c %s "$XDG_STATE_HOME/quillon/journal.jsonl" 2>/dev/null || echo 0)"
  echo "stderr_lines=$(wc -l <"$work/watch.err")"
} | tee "$work/summary.txt"
echo "work folder: $work"
[ "$status" -eq 0 ] && [ "$unnamed" -eq 0 ] && [ "$twice" -eq 0 ] && [ "$replacedWrong" -eq 0 ]
