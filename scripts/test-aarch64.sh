#!/usr/bin/env bash
# Same bits on 64-bit ARM: the plug-in cross-built for AArch64 (clang against
# Debian's arm64 multiarch packages, without GenICam), and under qemu-aarch64
# the image library's tests and the golden corpus at every level (none,
# neon), the fuzz corpus replayed at each level, the C interface's test, and
# framegrab with the simulated camera writing the same files as the x86-64
# build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh qemu-user clang binutils-aarch64-linux-gnu libc6-dev:arm64 \
  libstdc++-12-dev:arm64 libgcc-12-dev:arm64 libboost-thread-dev:arm64 \
  libboost-date-time-dev:arm64 libboost-chrono-dev:arm64 libturbojpeg0-dev:arm64 \
  libbenchmark-dev:arm64
jobs=${JOBS:-2}
emulator=(qemu-aarch64)

echo "== AArch64 cross build =="
cmake --preset linux-aarch64 >/dev/null
cmake --build --preset linux-aarch64 -j"$jobs"

echo "== image library, golden corpus, fuzz replay and C interface under qemu-aarch64 =="
# The grabber's, the camera's and the host's suites wait on threads and
# clocks, which emulation stretches, and the host's starts programs that the
# emulator would have to wrap; they run natively in the other builds.
(cd build-aarch64 &&
  ctest --output-on-failure -j"$jobs" -L "image|interpolation|transform|stream|golden|fuzz|capi")

echo "== framegrab frames, AArch64 against x86-64 =="
cmake -S . -B build -DWERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target framegrab
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A small simulated camera. Its frame n is a pattern of n alone, but which
# frames a slow (emulated) grabber gets depends on time: each AArch64 file
# must equal, byte for byte, one of the same kind among x86-64's, which
# grabs every frame of the first seconds.
printf '[Simulated camera]\nWidth=320\nHeight=256\nExposureMs=33\nFramesPerSecond=2\n' \
  >"$work/framegrab.ini"
grab_args=(-q --rotate 17 --resample 200x150 --threads 2)
(cd "$work" && "$root/build/host/framegrab" "${grab_args[@]}" -n 10 -o x86 >/dev/null)
for level in none neon; do
  version=$(cd "$work" && UEYE_IMAGE_SIMD=$level "${emulator[@]}" \
    "$root/build-aarch64/host/framegrab" --version)
  grep -q "Image kernels: $level" <<<"$version" || { echo "$version" >&2; exit 1; }
  (cd "$work" && UEYE_IMAGE_SIMD=$level "${emulator[@]}" \
    "$root/build-aarch64/host/framegrab" "${grab_args[@]}" -n 3 -o "arm-$level" >/dev/null)
  for file in "$work/arm-$level"/*; do
    found=""
    for x86 in "$work/x86"/*."${file##*.}"; do
      if cmp -s "$file" "$x86"; then found=$x86; break; fi
    done
    [ -n "$found" ] || { echo "$level: ${file##*/} equals no frame of x86-64" >&2; exit 1; }
    echo "$level: ${file##*/} equals x86-64's ${found##*/}"
  done
done
# Caps of another machine or of no level leave the best one, neon.
for cap in avx2 sse2 bogus; do
  UEYE_IMAGE_SIMD=$cap "${emulator[@]}" build-aarch64/host/framegrab --version |
    grep -q "Image kernels: neon"
done
echo "AArch64 checks passed."
