#!/usr/bin/env bash
# Builds Boost.Thread and Boost.Chrono as static libraries for a mingw-w64
# target from Debian's boost1.74 source package, against the Boost headers
# installed on this machine, so Windows and Linux builds use the same Boost.
#
#   bash scripts/mingw-boost.sh TRIPLET PREFIX    e.g. x86_64-w64-mingw32 build-win64/boost
#
# Result: PREFIX/include/boost (a link to the installed headers) and
# PREFIX/lib/libboost_{thread,chrono}.a. A finished PREFIX is reused as is.
# The source package is fetched once into BOOST_DOWNLOAD_DIR (default
# PREFIX/download) through a private apt configuration whose deb-src entries
# are derived from the machine's own apt sources; the system's apt
# configuration is left untouched.
set -euo pipefail
triplet=$1
prefix=$(mkdir -p "$2" && cd "$2" && pwd)
download=${BOOST_DOWNLOAD_DIR:-$prefix/download}
cxx=$triplet-g++-win32
[ -f "$prefix/lib/libboost_thread.a" ] && [ -f "$prefix/lib/libboost_chrono.a" ] && exit 0

headers=/usr/include/boost
# The host architecture's package: installed for a second one too (arm64
# for the AArch64 build), the bare name would print both versions.
version=$(dpkg-query -W -f='${Version}' "libboost1.74-dev:$(dpkg --print-architecture)")
upstream=${version%%-*}
upstream=${upstream#*:}

# The upstream tarball of the installed Boost's source package, fetched once.
mkdir -p "$download"
tarball=$(ls "$download"/boost1.74_"${upstream}".orig.tar.* 2>/dev/null | head -n 1 || true)
if [ -z "$tarball" ]; then
  source "$(dirname "${BASH_SOURCE[0]}")/private-apt.sh"
  private_apt "$download/apt" deb-src
  (cd "$download" && apt-get "${apt_options[@]}" -q source --download-only "boost1.74=$version")
  tarball=$(ls "$download"/boost1.74_"${upstream}".orig.tar.*)
fi

# Only the sources of the two libraries are taken from the tarball.
source_dir=$prefix/source
rm -rf "$source_dir" && mkdir -p "$source_dir"
tar -xf "$tarball" -C "$source_dir" --strip-components=1 --wildcards \
  '*/libs/thread/src/*' '*/libs/chrono/src/*'

mkdir -p "$prefix/include" "$prefix/lib" "$prefix/obj"
ln -sfn "$headers" "$prefix/include/boost"
flags=(-std=c++17 -O2 -ffp-contract=off -I"$prefix/include" -DBOOST_ALL_NO_LIB
       -DBOOST_THREAD_BUILD_LIB -DBOOST_CHRONO_STATIC_LINK)
case $triplet in i686-*) flags+=(-msse2 -mfpmath=sse) ;; esac

build_library() {
  local name=$1; shift
  local objects=()
  for source in "$@"; do
    local object=$prefix/obj/${name}_$(basename "${source%.cpp}").o
    "$cxx" "${flags[@]}" -w -c "$source_dir/$source" -o "$object"
    objects+=("$object")
  done
  rm -f "$prefix/lib/libboost_$name.a"
  "$triplet-ar" rcs "$prefix/lib/libboost_$name.a" "${objects[@]}"
}
# Windows threads, their thread-specific storage and its clean-up at thread
# exit (the TLS callbacks of tss_pe), and futures.
build_library thread libs/thread/src/win32/thread.cpp libs/thread/src/win32/thread_primitives.cpp \
  libs/thread/src/win32/tss_dll.cpp libs/thread/src/win32/tss_pe.cpp libs/thread/src/future.cpp
build_library chrono libs/chrono/src/chrono.cpp libs/chrono/src/thread_clock.cpp \
  libs/chrono/src/process_cpu_clocks.cpp
echo "Boost.Thread and Boost.Chrono for $triplet in $prefix/lib"
