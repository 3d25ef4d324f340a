#!/usr/bin/env bash
# The quick check, a few minutes: the normal build and its test suite, the
# Python package's included. It configures the `build` folder with the same
# options as the normal build of scripts/test-all.sh (keep the two alike), so
# the two reuse each other's build. Extra arguments go to ctest, e.g.
#   bash scripts/test.sh -R Resample
# Everything CI runs: scripts/test-all.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh python3-numpy python3-pytest
jobs=${JOBS:-2}
cmake -S . -B build -DWERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs" "$@")
