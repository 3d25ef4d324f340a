#!/usr/bin/env bash
# Builds the libFuzzer targets as OSS-Fuzz does (clang at -O1 with frame
# pointers, AddressSanitizer and UndefinedBehaviorSanitizer) and runs them.
#
#   bash scripts/fuzz.sh
#       CI: each target for FUZZ_SECONDS (60), then fuzz_fastpaths again at
#       each instruction-set level (UEYE_IMAGE_SIMD) for FUZZ_LEVEL_SECONDS
#       (60: tens of thousands of comparisons each); a level the machine
#       lacks is reported skipped. Runs start from fuzz/corpus/<target> and
#       fuzz/regressions/<target>; inputs found on the way stay in
#       build-fuzz/corpus/<target>; a finding fails the script.
#
#   FUZZ_HOURS=4 bash scripts/fuzz.sh campaign [target...]
#       A long campaign (all targets unless named), every target at once on
#       FUZZ_JOBS worker processes in all (default: every core), at nice 19,
#       going on past findings. At the end each finding is kept in
#       fuzz/regressions/<target> (the suite replays it; fix it, then commit
#       it) and the corpus grown is merged back into fuzz/corpus/<target>,
#       minimised. FUZZ_SECONDS overrides FUZZ_HOURS.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
all_targets=(fuzz_image fuzz_streams fuzz_overflow fuzz_fastpaths)
levels=(none sse2 avx2 avx512)

CXX=clang++ cmake -S . -B build-fuzz -DBUILD_FUZZERS=ON -DSANITIZE=ON -DBUILD_TESTING=OFF \
  -DBUILD_BENCHMARKS=OFF -DWERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g -fno-omit-frame-pointer" >/dev/null
cmake --build build-fuzz -j"${JOBS:-2}" --target "${all_targets[@]}"

# committed <target>: its corpus and past findings, into the array `inputs`.
committed() {
  inputs=("fuzz/corpus/$1")
  if [ -d "fuzz/regressions/$1" ]; then inputs+=("fuzz/regressions/$1"); fi
}

if [ "${1:-}" != campaign ]; then
  run() { # target seconds [label]
    local target=$1 log="build-fuzz/$1${3:+-$3}.log"
    mkdir -p "build-fuzz/corpus/$target"
    committed "$target"
    "build-fuzz/fuzz/$target" -max_total_time="$2" -timeout=10 \
      -artifact_prefix="build-fuzz/$target-" "build-fuzz/corpus/$target" "${inputs[@]}" 2>&1 |
      tee "$log"
    if grep -q '^SKIPPED:' "$log"; then echo "== $target${3:+ at $3}: skipped =="; fi
  }
  for target in "${all_targets[@]}"; do
    echo "== $target =="
    run "$target" "${FUZZ_SECONDS:-60}"
  done
  for level in "${levels[@]}"; do
    echo "== fuzz_fastpaths at UEYE_IMAGE_SIMD=$level =="
    UEYE_IMAGE_SIMD=$level run fuzz_fastpaths "${FUZZ_LEVEL_SECONDS:-60}" "$level"
  done
  exit 0
fi

shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
seconds=${FUZZ_SECONDS:-$(( ${FUZZ_HOURS:-4} * 3600 ))}
jobs=${FUZZ_JOBS:-$(nproc)}
per_target=$(( jobs / ${#targets[@]} ))
[ "$per_target" -ge 1 ] || per_target=1
echo "== campaign: ${targets[*]} for ${seconds} s, $per_target worker(s) each =="
for target in "${targets[@]}"; do
  dir="build-fuzz/campaign/$target"
  mkdir -p "$dir/corpus" "$dir/findings"
  committed "$target"
  # Fork mode goes on past crashes, timeouts and running out of memory,
  # keeping each input in the findings.
  nice -n "${FUZZ_NICE:-19}" "build-fuzz/fuzz/$target" -fork="$per_target" -ignore_crashes=1 \
    -ignore_timeouts=1 -ignore_ooms=1 -max_total_time="$seconds" -timeout=10 \
    -artifact_prefix="$dir/findings/" "$dir/corpus" "${inputs[@]}" >"$dir/log" 2>&1 &
done
wait

status=0
for target in "${targets[@]}"; do
  dir="build-fuzz/campaign/$target"
  echo "== $target: $(grep -E '^#[0-9]+' "$dir/log" | tail -1)"
  for finding in "$dir"/findings/*; do
    [ -f "$finding" ] || continue
    mkdir -p "fuzz/regressions/$target"
    kind=$(basename "$finding"); kind=${kind%%-*}
    cp "$finding" "fuzz/regressions/$target/$kind-$(sha1sum <"$finding" | cut -c1-40)"
    echo "   finding: $finding (kept in fuzz/regressions/$target)"
    status=1
  done
  # Inputs named by hand stay; the ones named by their hash are replaced by
  # the smallest set that keeps every feature of the old and grown corpora.
  merged=$(mktemp -d "$dir/merged.XXXXXX")
  find "fuzz/corpus/$target" -type f ! -regex '.*/[0-9a-f]\{40\}' -exec cp {} "$merged" \;
  nice -n "${FUZZ_NICE:-19}" "build-fuzz/fuzz/$target" -merge=1 "$merged" "fuzz/corpus/$target" \
    "$dir/corpus" >"$dir/merge.log" 2>&1
  find "fuzz/corpus/$target" -type f -regex '.*/[0-9a-f]\{40\}' -delete
  cp -n "$merged"/* "fuzz/corpus/$target/"
  rm -rf "$merged"
  echo "   corpus: $(find "fuzz/corpus/$target" -type f | wc -l) inputs after merging"
done
exit "$status"
