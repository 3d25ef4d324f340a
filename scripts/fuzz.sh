#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for FUZZ_SECONDS (default 60),
# starting from the corpus kept in fuzz/corpus/<target>. Inputs found on the
# way stay in build-fuzz/corpus/<target>; a crash fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
targets=(fuzz_image fuzz_streams fuzz_overflow fuzz_fastpaths)
CXX=clang++ cmake -S . -B build-fuzz -DBUILD_FUZZERS=ON -DSANITIZE=ON -DBUILD_TESTING=OFF \
  -DBUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug -DWERROR=ON >/dev/null
cmake --build build-fuzz -j"${JOBS:-2}" --target "${targets[@]}"
for target in "${targets[@]}"; do
  mkdir -p "build-fuzz/corpus/$target"
  echo "== $target =="
  "build-fuzz/fuzz/$target" -max_total_time="${FUZZ_SECONDS:-60}" -timeout=10 \
    -artifact_prefix="build-fuzz/$target-" "build-fuzz/corpus/$target" "fuzz/corpus/$target"
done
