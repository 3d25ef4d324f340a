#!/usr/bin/env bash
# Installs the Debian packages the build needs, and any packages named as
# arguments, when they are missing.
set -euo pipefail
packages=(cmake g++ make libboost-thread-dev libboost-date-time-dev libboost-chrono-dev libgtest-dev libgmock-dev
          libbenchmark-dev libstb-dev libturbojpeg0-dev nlohmann-json3-dev clang libclang-rt-14-dev
          libaravis-dev libusb-1.0-0-dev aravis-tools iproute2 "$@")
missing=()
for p in "${packages[@]}"; do
  # A name installed for two architectures (amd64 and arm64) is ambiguous
  # to dpkg without its own architecture.
  dpkg -s "$p" >/dev/null 2>&1 || dpkg -s "$p:$(dpkg --print-architecture)" >/dev/null 2>&1 ||
    missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # A package of another architecture (wine32:i386) needs that architecture.
  for p in "${missing[@]}"; do
    case $p in *:*) $sudo_cmd dpkg --add-architecture "${p##*:}" ;; esac
  done
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q "${missing[@]}"
fi
