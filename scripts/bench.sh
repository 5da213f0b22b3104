#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the benchmarks in Release (build-bench) and runs them all, or the
# ones named on the command line (bench_<name>). With warp (named, or all),
# gdalwarp from gdal-bin, a benchmark-only dependency installed here, warps
# the same pictures as bench_warp for comparison.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON -DQUILLON_TESTS=OFF
cmake --build build-bench -j"$(nproc 2>/dev/null || echo 2)"

# gdalwarp on bench_warp's pictures: a 4096 x 2048 equirectangular source
# onto the 2048 x 2048 orthographic map (centre 0 E 45 N, Scale 0.5) and onto
# predefined map 1, nearest neighbour, in PROJ strings whose plane units are
# the maps' own (degrees; image widths), pixel centres where the maps put
# them. Times include reading and writing the GeoTIFFs.
gdal_warp_bench() {
  if ! command -v gdalwarp >/dev/null; then
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends gdal-bin
  fi
  local dir
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' RETURN
  local eqc="+proj=eqc +R=57.29577951308232 +units=m +no_defs"
  local res
  res=$(awk 'BEGIN { printf "%.17g", 360 / 4096 }')
  gdal_create -q -of GTiff -outsize 4096 2048 -bands 3 -ot Byte -burn 40 -burn 120 -burn 200 \
    -a_srs "$eqc" -a_ullr "$(awk -v r="$res" 'BEGIN { printf "%.17g", -180 - r / 2 }')" \
    "$(awk -v r="$res" 'BEGIN { printf "%.17g", 90 + r / 2 }')" \
    "$(awk -v r="$res" 'BEGIN { printf "%.17g", 180 - r / 2 }')" \
    "$(awk -v r="$res" 'BEGIN { printf "%.17g", -90 - r / 2 }')" "$dir/src.tif"
  local ortho="+proj=ortho +R=0.5 +lat_0=45 +lon_0=0 +units=m +no_defs"
  local lcc="+proj=lcc +a=1.095 +es=0.0066943180 +lat_1=45.5 +lat_2=46 +lat_0=25.7 +lon_0=128.5 +units=m +no_defs"
  # Extents (pixel edges) of the two targets. gdalwarp reports every point
  # of the far hemisphere it cannot project on stderr; those lines are dropped.
  local orthoTe lccTe
  orthoTe=$(awk 'BEGIN { w = 2048; printf "%.17g %.17g %.17g %.17g", -0.5 - 0.5 / w, 0.5 + 0.5 / w - 1, 0.5 - 0.5 / w, 0.5 + 0.5 / w }')
  lccTe=$(awk 'BEGIN { w = 1024; x0 = (-171 - 0.5) / w - 0.5; y1 = (512 + 0.5) / w; printf "%.17g %.17g %.17g %.17g", x0, y1 - 1, x0 + 1, y1 }')
  local target srs te size pixels mode opts secs
  for target in orthographic predefined1; do
    if [ $target = orthographic ]; then srs=$ortho; te=$orthoTe; size="2048 2048"; pixels=$((2048 * 2048));
    else srs=$lcc; te=$lccTe; size="1024 1024"; pixels=$((1024 * 1024)); fi
    for mode in "approximate (default -et 0.125)|" "exact (-et 0)|-et 0" \
                "approximate, every core|-multi -wo NUM_THREADS=ALL_CPUS" \
                "exact, every core|-et 0 -multi -wo NUM_THREADS=ALL_CPUS"; do
      opts=${mode#*|}
      # shellcheck disable=SC2086
      secs=$( { TIMEFORMAT=%R; time gdalwarp -q -overwrite -r near -t_srs "$srs" -te $te -ts $size $opts \
                 "$dir/src.tif" "$dir/out.tif" >/dev/null 2>&1; } 2>&1 )
      awk -v t="$target" -v m="${mode%%|*}" -v s="$secs" -v p="$pixels" \
        'BEGIN { printf "gdalwarp %-12s %-40s %8.3f s %8.2f Mpixel/s\n", t, m, s, p / s / 1e6 }'
    done
  done
}

if [ $# -gt 0 ]; then
  for name in "$@"; do
    build-bench/bench/"bench_$name"
    if [ "$name" = warp ]; then gdal_warp_bench; fi
  done
else
  for b in build-bench/bench/bench_*; do [ -x "$b" ] && "$b"; done
  gdal_warp_bench
fi
