#!/usr/bin/env bash
# Runs a command in a network namespace of its own whose only interface is its
# loopback, where the machine allows it (as root); elsewhere on the machine's
# loopback, one such command at a time, so that two never share a camera.
set -euo pipefail
if unshare -n true 2>/dev/null && command -v ip >/dev/null; then
  exec unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
fi
exec flock "${TMPDIR:-/tmp}/ueye-loopback-camera.lock" "$@"
