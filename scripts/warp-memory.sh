#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Peak resident memory of `quillon-cli map warp` onto a very wide target
# (10,000,000 x 8 pixels, 240 MB of 24-bit pixels) on 1, 8 and 64 threads,
# as /usr/bin/time -v reports it. The working buffers do not grow with the
# thread count, so the three figures stay within a few MB of each other and
# of the target picture itself.
#   scripts/warp-memory.sh [QUILLON-CLI]   (default build-bench/cli/quillon-cli)
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build-bench/cli/quillon-cli}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# A 720 x 360 whole-world source, drawn by the grid command.
"$cli" map grid --kind 1 --width 720 --height 360 --lon-step 30 --lat-step 30 --no-labels --png "$dir/in.bmp"
for threads in 1 8 64; do
  kb=$( { /usr/bin/time -v "$cli" map warp --from kind=1,width=720,height=360 \
            --to kind=1,width=10000000,height=8 --threads "$threads" "$dir/in.bmp" "$dir/out.bmp" ; } 2>&1 |
        awk -F': ' '/Maximum resident set size/ { print $2 }')
  printf 'threads %3d: peak RSS %7.1f MB (target picture 240.0 MB)\n' "$threads" "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')"
done
