#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The full fault sweep: every system call of each scenario that touches its
# scratch folder (openat, getdents64, read, write, fsync, fdatasync, rename, renameat2,
# linkat, unlink(at), mkdir(at), flock, close) is made to fail, one run per
# call and fitting error (EIO, ENOSPC, EACCES, EINTR, EDQUOT, ENOLCK), through
# strace's fault injection. After each run the folder must hold every file
# exactly once with its bytes, the program must have said what failed, the
# journal must read back, and undo (or the command again) must bring the folder
# to a clean run's state. CTest runs a fixed sample of the same (test_faults).
#
#   scripts/faults.sh [REPORT]      # report file, default build-test/faults-report.txt
#   QUILLON_FAULTS_FILTER='*rename*' scripts/faults.sh    # some scenarios only
#   QUILLON_FAULTS_KINDS=mmap,sendfile scripts/faults.sh   # some calls only
set -euo pipefail
cd "$(dirname "$0")/.."

report=${1:-build-test/faults-report.txt}
command -v strace >/dev/null || scripts/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_TESTS=ON >/dev/null
cmake --build build-test -j"$(nproc 2>/dev/null || echo 2)" --target test_faults quillon-cli
mkdir -p "$(dirname "$report")"
: >"$report"
start=$(date +%s)
status=0
QUILLON_FAULTS_SWEEP=full QUILLON_FAULTS_REPORT="$(realpath "$report")" \
  build-test/tests/test_faults --gtest_color=no \
  --gtest_filter="Scenarios/FaultSweep.${QUILLON_FAULTS_FILTER:-*}" || status=$?
{
  echo "scenarios: $(grep -c '^scenario:' "$report")"
  echo "injected runs: $(awk '/injected runs:/ {s += $3} END {print s + 0}' "$report")"
  echo "faults found: $(awk '/  faults:/ {s += $2} END {print s + 0}' "$report")"
  echo "seconds: $(( $(date +%s) - start ))"
} | tee -a "$report"
echo "report: $report"
exit "$status"
