#!/usr/bin/env bash
# Our operations against OpenCV at each instruction-set level, like for like:
# one bench_peer process per level, ours capped by UEYE_IMAGE_SIMD and
# OpenCV held to the same instruction sets by OPENCV_CPU_DISABLE. Prints one
# table with a column per level (median ms and, in brackets, the median
# ratio ours / OpenCV), then each level's Lanczos arithmetic line.
#   bash scripts/bench-levels.sh [REPETITIONS [FILTER]]
# Levels the machine lacks are left out; LEVELS="avx2 sse2" picks some.
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-5}
filter=${2:-}
bash scripts/setup.sh libopencv-dev libbenchmark-dev
cmake --preset bench >/dev/null
cmake --build --preset bench --target bench_peer >/dev/null

# OpenCV's dispatched sets above each level (its baseline is SSE2).
avx512_off=""
avx2_off="AVX512F,AVX512-COMMON,AVX512-SKX,AVX512-CNL,AVX512-CLX,AVX512-ICL"
sse2_off="$avx2_off,SSE3,SSSE3,SSE4.1,SSE4.2,POPCNT,FP16,AVX,AVX2,FMA3"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
levels=${LEVELS:-avx512 avx2 sse2}
for level in $levels; do
    off_name=${level}_off
    OPENCV_CPU_DISABLE=${!off_name} UEYE_IMAGE_SIMD=$level \
        build-bench/bench/bench_peer "$repetitions" "$filter" >"$out/$level.txt" 2>/dev/null
    # A level the machine lacks runs below it: leave it out.
    grep -q "^Ours at $level " "$out/$level.txt" || rm "$out/$level.txt"
done

/usr/bin/python3 - "$out" $levels <<'PY'
import os, re, sys
folder, levels = sys.argv[1], [l for l in sys.argv[2:] if os.path.exists(f"{sys.argv[1]}/{l}.txt")]
rows, order, notes = {}, [], []
for level in levels:
    for line in open(f"{folder}/{level}.txt"):
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if line.startswith("| ") and len(cells) == 5 and re.match(r"\d", cells[1]):
            key = (cells[0], cells[1], cells[2])
            if key not in rows:
                rows[key] = {}
                order.append(key)
            rows[key][level] = (cells[3], cells[4])
        elif line.startswith("Lanczos") or line.startswith("Ours at"):
            notes.append(line.strip())
print("| operation (4096 x 3072 unless named) | threads | peer | " +
      " | ".join(f"{l}: peer ms | {l}: ours ms (ratio)" for l in levels) + " |")
print("|---|---|---|" + "---|---|" * len(levels))
for key in order:
    cells = [f"{rows[key][l][0]} | {rows[key][l][1]}" if l in rows[key] else "- | -" for l in levels]
    print(f"| {key[0]} | {key[1]} | {key[2]} | " + " | ".join(cells) + " |")
print()
for note in notes:
    print(note)
    print()
PY
