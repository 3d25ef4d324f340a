#!/usr/bin/env bash
# Builds the plug-in and the host program, then grabs frames from the camera
# (the simulated camera outside Windows) into ./frames. Extra arguments go to
# framegrab, e.g.  bash scripts/framegrab.sh -n 20 --negative
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -DWERROR=ON >/dev/null
cmake --build "$root/build" -j"${JOBS:-2}" --target framegrab
exec "$root/build/host/framegrab" -o "$PWD/frames" "$@"
