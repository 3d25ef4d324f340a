#!/usr/bin/env bash
# The plug-in as its users get it: installed into a temporary prefix, used by
# the consumer project (the host writer's guide's examples) through its CMake
# package and its pkg-config file, and packed as a .deb that is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh pkg-config dpkg-dev file
jobs=${JOBS:-2}

echo "== the guide's examples are the consumer's sources =="
python3 scripts/guide-examples.py --check

echo "== install into a temporary prefix =="
cmake --preset release >/dev/null
cmake --build --preset release
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build-release --prefix "$prefix" >/dev/null
(cd "$prefix" && find . -type f -o -type l | sort)

echo "== consumer against the installed tree =="
rm -rf build-consumer
cmake -S tests/consumer -B build-consumer -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build build-consumer -j"$jobs"
(cd build-consumer && ctest --output-on-failure)

echo "== pkg-config =="
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
pkg-config --modversion ueye_grabber
g++ -std=c++17 -Werror -Wall tests/consumer/image_example.cpp $(pkg-config --cflags --libs ueye_grabber) \
  -o build-consumer/image_example_pc
LD_LIBRARY_PATH="$prefix/lib" build-consumer/image_example_pc

echo "== Debian package =="
(cd build-release && cpack -G DEB >/dev/null)
deb=$(ls build-release/ueye-grabber_*.deb)
dpkg-deb --info "$deb" | grep -E 'Package|Version|Depends'
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q "./$deb" >/dev/null
(cd "$(mktemp -d)" && framegrab -n 1 -o frames && test -s frames/frame_0000.png)
unset PKG_CONFIG_PATH
pkg-config --modversion ueye_grabber
echo "Package checks passed."
