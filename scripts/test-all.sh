#!/usr/bin/env bash
# Builds and runs every test: a normal build (the Python package's suite
# included), a build under AddressSanitizer and UndefinedBehaviorSanitizer,
# the threaded tests under ThreadSanitizer, and the installed packages.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh python3-numpy python3-pytest
jobs=${JOBS:-2}

run_suite() {
  local dir=$1; shift
  local label=$1; shift
  cmake -S . -B "$dir" -DWERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  if [ -n "$label" ]; then
    (cd "$dir" && ctest --output-on-failure -j"$jobs" -L "$label" ${exclude:+-E "$exclude"})
  else
    (cd "$dir" && ctest --output-on-failure -j"$jobs")
  fi
}

echo "== normal build =="
run_suite build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
run_suite build-sanitize "" -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_BENCHMARKS=OFF
echo "== ThreadSanitizer build (threaded tests) =="
# The per-level kernel comparisons run on one thread and take minutes here:
# they are left to the other builds.
exclude=KernelLevels run_suite build-tsan "grabber|sim|platform|soak|golden|image" \
  -DCMAKE_BUILD_TYPE=Debug -DTSAN=ON -DBUILD_BENCHMARKS=OFF
bash scripts/fuzz.sh
bash scripts/test-exactness.sh
bash scripts/test-windows.sh
bash scripts/test-package.sh
bash scripts/test-python.sh
echo "All tests passed."
