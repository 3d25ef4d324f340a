#!/usr/bin/env bash
# End-to-end test of the live view (framegrab --serve): every check of
# scripts/test_liveview.py on the simulated camera, headless Chromium among
# them, then a few with a GenICam camera, Aravis's GigE Vision fake camera in
# a loopback of its own (scripts/in-loopback-namespace.sh), where the build
# has GenICam cameras and the fake camera is installed. Builds framegrab in
# the given folder (default build) when it is missing; further arguments go
# to the simulated camera's test, e.g.  --screenshot docs/live-view.png
set -euo pipefail
cd "$(dirname "$0")/.."
python=/usr/bin/python3 # Debian's, which has numpy and PIL

if [ "${1:-}" = --genicam-inside ]; then
  framegrab=$2
  arv-fake-gv-camera-0.8 -i 127.0.0.1 >/dev/null 2>&1 &
  camera=$!
  trap 'kill -9 "$camera" 2>/dev/null || true; wait "$camera" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do # ready when it is found
    "$framegrab" --list-devices 2>/dev/null | grep -q 127.0.0.1 && break
    sleep 0.1
  done
  "$python" scripts/test_liveview.py "$framegrab" --device genicam:127.0.0.1
  exit
fi

build=${1:-build}
shift || true
bash scripts/setup.sh chromium python3-numpy python3-pil
if [ ! -x "$build/host/framegrab" ]; then
  cmake -S . -B "$build" -DWERROR=ON >/dev/null
  cmake --build "$build" -j"${JOBS:-2}" --target framegrab
fi
"$python" scripts/test_liveview.py "$build/host/framegrab" "$@"
if grep -q '^WITH_GENICAM:BOOL=ON' "$build/CMakeCache.txt" &&
   grep -q '^ARAVIS_FOUND:INTERNAL=1' "$build/CMakeCache.txt" &&
   command -v arv-fake-gv-camera-0.8 >/dev/null; then
  scripts/in-loopback-namespace.sh bash "$0" --genicam-inside "$PWD/$build/host/framegrab"
else
  echo "NOT RUN: the live view with a GenICam camera (not in this build, or no fake camera)"
fi
