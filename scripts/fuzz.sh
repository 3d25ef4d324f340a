#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for FUZZ_SECONDS (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
command -v clang++ >/dev/null || { sudo_cmd=""; [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"; $sudo_cmd apt-get install -y -q clang; }
CXX=clang++ cmake -S . -B build-fuzz -DBUILD_FUZZERS=ON -DSANITIZE=ON -DBUILD_TESTING=OFF \
  -DBUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-fuzz -j"${JOBS:-2}" --target fuzz_image fuzz_streams
for target in fuzz_image fuzz_streams; do
  mkdir -p "build-fuzz/corpus/$target"
  echo "== $target =="
  "build-fuzz/fuzz/$target" -max_total_time="${FUZZ_SECONDS:-60}" -timeout=10 "build-fuzz/corpus/$target"
done
