#!/usr/bin/env bash
# End-to-end test of the live view (framegrab --serve) on the simulated
# camera, with headless Chromium: see scripts/test_liveview.py. Builds
# framegrab in the given folder (default build) when it is missing. Extra
# arguments go to the test, e.g.  --screenshot docs/live-view.png
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
bash scripts/setup.sh chromium python3-numpy python3-pil
if [ ! -x "$build/host/framegrab" ]; then
  cmake -S . -B "$build" -DWERROR=ON >/dev/null
  cmake --build "$build" -j"${JOBS:-2}" --target framegrab
fi
# Debian's python3, which has numpy and PIL.
exec /usr/bin/python3 scripts/test_liveview.py "$build/host/framegrab" "$@"
