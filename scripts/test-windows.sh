#!/usr/bin/env bash
# Cross-builds the plug-in, the C interface DLL, the stand-in SDK library,
# framegrab and the test suites (the C host of the C interface among them)
# for 32-bit and 64-bit Windows with mingw-w64, checks the DLLs' exports and
# the 32-bit plug-in DLL, runs the suites and framegrab.exe under wine (a 32-bit wine for
# the 32-bit build, the real target; wine64 for the 64-bit one), packs each
# build as a zip and builds and runs the consumer project against the 32-bit
# zip.
#
# The 32-bit wine runs natively where the kernel runs 32-bit programs. Where it
# refuses them ("Exec format error"), it runs through the static qemu-i386 of
# the release's backports (scripts/qemu-i386.sh), registered with binfmt_misc
# for this run only. WINE32_ROUTE=qemu takes that route on any machine. Only
# where the kernel refuses 32-bit programs and binfmt_misc cannot be mounted
# or written are the 32-bit runs skipped, on a line starting "NOT RUN:";
# anything else that goes wrong fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 wine64 wine32:i386 \
  googletest libboost1.74-dev xz-utils
jobs=${JOBS:-2}
start=$SECONDS
# Both builds compile Boost from one download of its source package.
export BOOST_DOWNLOAD_DIR=$PWD/build-mingw-boost
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"

# CMake's own Release flags (optimised, without debug information, which
# makes the cross builds a third slower): the code compiles clean at them.
configure() {
  local dir=$1 triplet=$2; shift 2
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$triplet.cmake" -DWERROR=ON \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCHMARKS=OFF \
    "$@" >/dev/null
}

# A private wine prefix in the build folder, set up once (a new prefix takes
# a while), before the timed tests.
use_prefix() {
  local dir=$1 arch=$2
  export WINEPREFIX=$PWD/$dir/wineprefix
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    WINEARCH=$arch "$wine" wineboot --init
    "$WINESERVER" -w # the registry is written when the server ends
  fi
}

# framegrab.exe grabs, transforms and writes three frames as BMP and PNG, and
# the camera stores its parameter file.
framegrab_end_to_end() {
  local out=$1/framegrab-run
  rm -rf "$out" && mkdir -p "$out"
  (cd "$out" && "$wine" ../bin/framegrab.exe -n 3 -o frames -e 20000 --rotate 30 \
    --resample 640x512 --dither)
  for i in 0 1 2; do
    for extension in bmp png; do
      [ -s "$out/frames/frame_000$i.$extension" ] || { echo "frame $i.$extension missing"; exit 1; }
    done
  done
  [ -s "$out/framegrab.ini" ] || { echo "the camera stored no parameter file"; exit 1; }
}

# The build's zip, packed and unpacked into BUILD/package; prints the
# unpacked tree.
pack_zip() {
  local dir=$1
  (cd "$dir" && rm -f ueye-grabber-*.zip && cpack -G ZIP >/dev/null)
  local zip
  zip=$(ls "$dir"/ueye-grabber-*.zip)
  rm -rf "$dir/package" && mkdir -p "$dir/package"
  (cd "$dir/package" && cmake -E tar xf "../$(basename "$zip")")
  ls -d "$PWD/$dir/package"/ueye-grabber-*
}

# binfmt_misc state this run changed, undone when it ends.
binfmt=/proc/sys/fs/binfmt_misc
binfmt_entry=""
binfmt_mounted=""
cleanup() {
  if [ -n "$binfmt_entry" ]; then
    echo -1 | $sudo_cmd tee "$binfmt/$binfmt_entry" >/dev/null ||
      echo "warning: could not remove the binfmt_misc entry $binfmt_entry"
  fi
  if [ -n "$binfmt_mounted" ]; then
    $sudo_cmd umount "$binfmt" 2>/dev/null || true
  fi
  local prefix
  for prefix in build-win32/wineprefix build-win64/wineprefix; do
    [ -d "$prefix" ] && WINEPREFIX=$PWD/$prefix /usr/lib/wine/wineserver64 -k 2>/dev/null || true
  done
}
trap cleanup EXIT

# How 32-bit programs run here: "native", "qemu" or "" with the reason in
# skip_reason. The qemu route registers qemu-i386 for 32-bit x86 programs;
# entries registered last are tried first, so it also serves on machines
# that would run them natively (WINE32_ROUTE=qemu).
skip_reason=""
prepare_32bit_route() {
  local route=${WINE32_ROUTE:-} output
  if [ -z "$route" ]; then
    if output=$(/usr/lib/wine/wine --version 2>&1); then
      route=native
    elif grep -q "Exec format error" <<<"$output"; then
      route=qemu
    else
      echo "$output"
      echo "the 32-bit wine does not start"
      exit 1
    fi
  fi
  if [ "$route" = native ]; then
    route32=native
    return
  fi
  if [ ! -e "$binfmt/register" ]; then
    if ! $sudo_cmd mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
      skip_reason="the kernel refuses 32-bit programs and binfmt_misc cannot be mounted"
      return
    fi
    binfmt_mounted=1
  fi
  local qemu
  qemu=$(bash scripts/qemu-i386.sh build-win32/qemu)
  # 32-bit x86 ELF executables and shared objects, as qemu's own
  # qemu-binfmt-conf.sh describes them. F: the interpreter is opened now, so
  # it serves whatever root a process sees.
  local name=ueye-wine32-$$
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  if ! printf ':%s:M::%s:%s:%s:F\n' "$name" "$magic" "$mask" "$qemu" |
    $sudo_cmd tee "$binfmt/register" >/dev/null 2>&1; then
    skip_reason="the kernel refuses 32-bit programs and binfmt_misc refuses a qemu-i386 entry"
    return
  fi
  binfmt_entry=$name
  echo "32-bit programs run through $("$qemu" --version | head -n 1)"
  # From here on, a failure is a failure of the run.
  /usr/lib/wine/wine --version >/dev/null
  route32=qemu
}

echo "== 32-bit Windows: plug-in, stand-in SDK, framegrab, tests =="
configure build-win32 i686-w64-mingw32
cmake --build build-win32 -j"$jobs"

# The names a DLL exports, one a line.
exports_of() {
  local objdump=$1 dll=$2
  $objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk '/^[[:space:]]*\[[[:space:]]*[0-9]+\]/ {print $NF}'
}

# The plug-in's plain (not C++) exports are exactly its three entry points,
# and the C interface DLL exports every function of its header under its
# plain name: no underscore, no @ suffix.
check_plain_exports() {
  local objdump=$1 dir=$2
  local plain expected missing
  plain=$(exports_of "$objdump" "$dir/bin/ueye_grabber.dll" | grep -v '^_Z' | sort)
  expected=$(printf '%s\n' DeleteGrabber GrabberApiVersion MakeGrabber)
  if [ "$plain" != "$expected" ]; then
    echo "ueye_grabber.dll exports other plain names than its entry points:" $plain
    exit 1
  fi
  missing=$(comm -23 <(grep -oE '\bueye_[a-z0-9_]+\(' capi/ueye_grabber_c.h | tr -d '(' | sort -u) \
    <(exports_of "$objdump" "$dir/bin/ueye_grabber_c.dll" | sort -u))
  if [ -n "$missing" ]; then
    echo "ueye_grabber_c.dll lacks the plain exports:" $missing
    exit 1
  fi
}

echo "== 32-bit Windows: checks on ueye_grabber.dll and ueye_grabber_c.dll =="
dll=build-win32/bin/ueye_grabber.dll
objdump=i686-w64-mingw32-objdump
headers=$($objdump -p "$dll")
check_plain_exports $objdump build-win32
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

echo "== 32-bit Windows: the zip, and the consumer project built against it =="
package32=$(pack_zip build-win32)
(cd "$package32" && find . -type f | sort)
# The consumer finds the package through UeyeGrabber_DIR (the toolchain
# confines other searches to the mingw root) and the Boost headers through
# a folder that holds only them: the whole of /usr/include would shadow
# the mingw headers.
boost_headers=$PWD/build-consumer-win32/boost-include
mkdir -p "$boost_headers" && ln -sfn /usr/include/boost "$boost_headers/boost"
cmake -S tests/consumer -B build-consumer-win32 -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/i686-w64-mingw32.cmake" \
  -DUeyeGrabber_DIR="$package32/lib/cmake/UeyeGrabber" -DUeyeGrabber_BOOST_INCLUDE_DIR="$boost_headers" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build build-consumer-win32 -j"$jobs"

prepare_32bit_route
if [ -n "$skip_reason" ]; then
  echo "NOT RUN: 32-bit Windows tests: $skip_reason"
else
  echo "== 32-bit Windows: tests under the 32-bit wine ($route32) =="
  wine=/usr/lib/wine/wine
  # The 64-bit server serves 32-bit programs too, and runs natively on either route.
  export WINESERVER=/usr/lib/wine/wineserver64
  use_prefix build-win32 win32
  # Under qemu every instruction is translated: a generous time limit. The
  # soak test keeps its 200 cycles (16 s through qemu, 10 s natively).
  (cd build-win32 && ctest --output-on-failure -j"$jobs" --timeout 1800)
  echo "== 32-bit Windows: framegrab.exe end to end =="
  framegrab_end_to_end build-win32
  echo "== 32-bit Windows: the consumer against the zip =="
  # The plug-in from the zip's bin folder, the stand-in SDK beside the programs.
  cp "$package32/sim/ueye_api.dll" build-consumer-win32/
  (cd build-consumer-win32 && WINEPATH="$package32/bin" ctest --output-on-failure)
  "$WINESERVER" -k 2>/dev/null || true
fi

echo "== 64-bit Windows: everything, tests under wine64 =="
configure build-win64 x86_64-w64-mingw32
cmake --build build-win64 -j"$jobs"
check_plain_exports x86_64-w64-mingw32-objdump build-win64
wine=$(command -v /usr/lib/wine/wine64 wine64 | head -n 1)
export WINESERVER=${wine%64}server64
use_prefix build-win64 win64
(cd build-win64 && ctest --output-on-failure -j"$jobs" --timeout 600)

echo "== 64-bit Windows: framegrab.exe end to end =="
framegrab_end_to_end build-win64

echo "== 64-bit Windows: the zip =="
package64=$(pack_zip build-win64)
for file in bin/ueye_grabber.dll bin/framegrab.exe bin/framegrab_frames.dll lib/libueye_grabber.dll.a \
  bin/ueye_grabber_c.dll lib/libueye_grabber_c.dll.a include/ueye_grabber/capi/ueye_grabber_c.h \
  python/ueye_grabber/__init__.py lib/cmake/UeyeGrabber/UeyeGrabberConfig.cmake sim/ueye_api.dll; do
  [ -s "$package64/$file" ] || { echo "$file missing from the 64-bit zip"; exit 1; }
done
echo "Windows builds and tests passed in $((SECONDS - start)) s."
