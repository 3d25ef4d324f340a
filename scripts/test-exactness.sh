#!/usr/bin/env bash
# Same bits everywhere: the image library's tests, the golden corpus among
# them, on 32-bit x86 Linux (long of 32 bits, SSE2 arithmetic) under
# qemu-i386 with UndefinedBehaviorSanitizer, and the golden corpus built by
# clang at -O3. An x87 build must be refused at compile time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh g++-multilib qemu-user clang
jobs=${JOBS:-2}

echo "== i686 (32-bit long, SSE2) under qemu-i386, UBSan =="
cmake -S . -B build-i686 -DWERROR=ON -DCMAKE_BUILD_TYPE=Debug -DIMAGE_LIBRARY_ONLY=ON \
  -DGTEST_FROM_SOURCE=ON -DCMAKE_C_FLAGS=-m32 \
  -DCMAKE_CXX_FLAGS="-m32 -fsanitize=undefined -fno-sanitize-recover=all" \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=undefined \
  -DCMAKE_CROSSCOMPILING_EMULATOR=qemu-i386 >/dev/null
cmake --build build-i686 -j"$jobs"
(cd build-i686 && ctest --output-on-failure -j"$jobs")

echo "== golden corpus with clang -O3 =="
cmake -S . -B build-clang -DWERROR=ON -DCMAKE_BUILD_TYPE=Release -DIMAGE_LIBRARY_ONLY=ON \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-clang -j"$jobs" --target tests_golden
build-clang/tests/tests_golden

echo "== x87 arithmetic is refused =="
if g++ -m32 -mfpmath=387 -std=c++17 -I. -fsyntax-only interpolation/Elementary.cpp 2>/dev/null; then
  echo "an x87 build compiled" >&2
  exit 1
fi
echo "Exactness checks passed."
