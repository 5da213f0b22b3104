#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Quillon in build/, and runs the main job:
# the window when a display is there; otherwise the rename workflow as a dry
# run on a demo folder of sample MPD files (build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF
cmake --build build -j"$jobs"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/app/quillon ]; then
  exec build/app/quillon
fi

cli=build/cli/quillon-cli
demo=build/demo
rm -rf "$demo"
"$cli" sample "$demo"
echo
echo "No display: showing what the window's Rename button would do in $demo"
echo
"$cli" rename --dry-run "$demo"
