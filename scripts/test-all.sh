#!/usr/bin/env bash
# Builds and runs every test: a normal build (the Python package's suite
# included), a build under AddressSanitizer and UndefinedBehaviorSanitizer,
# the threaded tests under ThreadSanitizer, the other machines (32-bit x86,
# AArch64 under qemu, Windows under wine), and the installed packages.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each part runs through `part NAME COMMAND...`, which times it. At the end,
# or where a part fails or the run is stopped, a table gives each part's time
# (a failed part marked so) and the total; time spent outside the parts shows
# as its own line.
part_names=()
part_times=()
current_part=""
part() {
  local name=$1; shift
  local start=$SECONDS
  current_part=$name
  part_start=$start
  "$@"
  current_part=""
  part_names+=("$name")
  part_times+=($((SECONDS - start)))
}
print_times() {
  local status=$1 counted=0 i
  show_time() { printf '%4d:%02d  %s\n' $(($1 / 60)) $(($1 % 60)) "$2"; }
  echo "== time per part (min:s) =="
  for i in "${!part_names[@]}"; do
    show_time "${part_times[$i]}" "${part_names[$i]}"
    counted=$((counted + part_times[i]))
  done
  if [ -n "$current_part" ]; then
    local spent=$((SECONDS - part_start))
    show_time "$spent" "$current_part (failed or stopped, status $status)"
    counted=$((counted + spent))
  fi
  [ $((SECONDS - counted)) -eq 0 ] || show_time $((SECONDS - counted)) "outside the parts"
  show_time "$SECONDS" "total"
}
trap 'status=$?; print_times "$status"; exit "$status"' EXIT

part "Debian packages" bash scripts/setup.sh python3-numpy python3-pytest
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
# The same options as scripts/test.sh, the quick check, which shares this folder.
part "normal build" run_suite build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
part "sanitizer build" run_suite build-sanitize "" \
  -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_BENCHMARKS=OFF
echo "== ThreadSanitizer build (threaded tests) =="
# The per-level kernel comparisons run on one thread and take minutes here:
# they are left to the other builds.
exclude=KernelLevels part "ThreadSanitizer build" \
  run_suite build-tsan "grabber|genicam|host|sim|platform|soak|golden|image" \
  -DCMAKE_BUILD_TYPE=Debug -DTSAN=ON -DBUILD_BENCHMARKS=OFF
part "GenICam cameras end to end" bash scripts/test-genicam.sh
part "GenICam end to end, sanitizers" env GENICAM_BUILD_DIR=build-sanitize bash scripts/test-genicam.sh
part "live view end to end" bash scripts/test-liveview.sh build
part "fuzz targets" bash scripts/fuzz.sh
part "32-bit x86 and clang" bash scripts/test-exactness.sh
part "AArch64 under qemu" bash scripts/test-aarch64.sh
part "Windows builds" bash scripts/test-windows.sh
part "installed package" bash scripts/test-package.sh
part "Python package" bash scripts/test-python.sh
echo "All tests passed."
