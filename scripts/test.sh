#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything under AddressSanitizer and
# UndefinedBehaviorSanitizer in build-test, and runs every test through CTest
# (the GoogleTest suites and the fuzz seed replays); then builds the Debian
# package (Release) and checks it with lintian, dpkg-deb and appstreamcli.
# Between the two, build-tsan builds only the test programs of the threaded
# parts under ThreadSanitizer and runs them (`ctest -L tsan`).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_TESTS=ON
cmake --build build-test -j"$jobs"
# Leak checking stays on; Qt's offscreen platform keeps the GUI tests headless.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-test --output-on-failure -j"$jobs" --timeout 600

cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DQUILLON_TSAN=ON -DQUILLON_TESTS=ON
cmake --build build-tsan -j"$jobs" --target test_components test_mapping test_cli test_catalog quillon-cli
ctest --test-dir build-tsan -L tsan --output-on-failure --timeout 900

scripts/check-package.sh
