#!/usr/bin/env bash
# Cross-builds the plug-in, the stand-in SDK library and framegrab for 32-bit
# and 64-bit Windows with mingw-w64, checks the 32-bit plug-in DLL, and runs
# the test suites and framegrab.exe under wine64 (this machine cannot run
# 32-bit Windows programs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 wine64 googletest \
  libboost1.74-dev xz-utils
jobs=${JOBS:-2}
start=$SECONDS
# Both builds compile Boost from one download of its source package.
export BOOST_DOWNLOAD_DIR=$PWD/build-mingw-boost

# Optimised as the Linux build, without debug information, which makes the
# cross builds a third slower.
configure() {
  local dir=$1 triplet=$2; shift 2
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$triplet.cmake" -DWERROR=ON \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DBUILD_BENCHMARKS=OFF \
    "$@" >/dev/null
}

echo "== 32-bit Windows: plug-in, stand-in SDK, framegrab =="
configure build-win32 i686-w64-mingw32 -DBUILD_TESTING=OFF
cmake --build build-win32 -j"$jobs"

echo "== 32-bit Windows: checks on ueye_grabber.dll =="
dll=build-win32/bin/ueye_grabber.dll
objdump=i686-w64-mingw32-objdump
headers=$($objdump -p "$dll")
# The entry points under their plain names: no underscore, no @ suffix.
exported=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | awk '/^[[:space:]]*\[/ {print $NF}')
for name in MakeGrabber DeleteGrabber GrabberApiVersion; do
  grep -qx "$name" <<<"$exported" || { echo "export $name missing from $dll"; exit 1; }
done
# Only system DLLs: the C++ runtime is linked in and the SDK is loaded at run time.
imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers" | sort -u)
echo "imports:" $imports
if grep -viqE '^(kernel32|user32|gdi32|advapi32|msvcrt)\.dll$' <<<"$imports"; then
  echo "$dll imports a DLL that is not a system DLL"
  exit 1
fi
# Floating-point arithmetic in the plug-in's own code runs on SSE2. x87 loads,
# stores and exact sign operations remain where the 32-bit calling convention
# passes a value in st(0); a rounding x87 operation would mean
# extended-precision results.
x87=$($objdump -d --no-show-raw-insn "$dll" | awk '
  /^[0-9a-f]+ <.*>:$/ { own = ($2 ~ /Cx|IdsUeye|FrameGrabber|BoostTools|Grabber/) }
  own && $2 ~ /^f(i?(add|sub|mul|div)r?p?|sqrt|prem1?|rndint|scale|2xm1|yl2x(p1)?|sin|cos|sincos|patan|ptan)$/ { n++ }
  own && $2 ~ /^(add|sub|mul|div|cvt|sqrt|ucomi|comi)s[sd]$|^cvt/ { sse++ }
  END { print n + 0, sse + 0 }')
echo "x87 and SSE2 arithmetic instructions in the plug-in's code: $x87"
read -r x87_count sse_count <<<"$x87"
[ "$x87_count" -eq 0 ] && [ "$sse_count" -gt 0 ] || { echo "$dll computes on the x87 unit"; exit 1; }

echo "== 64-bit Windows: everything, tests under wine64 =="
configure build-win64 x86_64-w64-mingw32
cmake --build build-win64 -j"$jobs"
wine=$(command -v /usr/lib/wine/wine64 wine64 | head -n 1)
export WINEPREFIX=$PWD/build-win64/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A new prefix takes a while to set up; do it once, before the timed tests.
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot --init
(cd build-win64 && ctest --output-on-failure -j"$jobs" --timeout 600)

echo "== framegrab.exe end to end =="
out=build-win64/framegrab-run
rm -rf "$out" && mkdir -p "$out"
(cd "$out" && "$wine" ../bin/framegrab.exe -n 3 -o frames -e 20000 --rotate 30 --resample 640x512 --dither)
for i in 0 1 2; do
  for extension in bmp png; do
    [ -s "$out/frames/frame_000$i.$extension" ] || { echo "frame $i.$extension missing"; exit 1; }
  done
done
[ -s "$out/framegrab.ini" ] || { echo "the camera stored no parameter file"; exit 1; }
"${wine%64}server64" -k 2>/dev/null || true
echo "Windows builds and tests passed in $((SECONDS - start)) s."
