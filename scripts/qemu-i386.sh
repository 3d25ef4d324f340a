#!/usr/bin/env bash
# Unpacks the static qemu-i386 of the release's backports qemu-user package
# into PREFIX and prints its path. The release's own qemu-user (7.2 on
# Debian 12) cannot run the 32-bit wine: it mishandles MAP_FIXED_NOREPLACE,
# so wine cannot map its shared data; version 8 and later can.
#
#   bash scripts/qemu-i386.sh PREFIX      e.g. build-win32/qemu
#
# The package is fetched through a private apt configuration derived from the
# machine's own sources (scripts/private-apt.sh); the system's apt
# configuration is left untouched. A finished PREFIX is reused as is.
set -euo pipefail
prefix=$(mkdir -p "$1" && cd "$1" && pwd)
qemu=$prefix/usr/bin/qemu-i386
if [ ! -x "$qemu" ]; then
  source "$(dirname "${BASH_SOURCE[0]}")/private-apt.sh"
  private_apt "$prefix/apt" backports >&2
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  (cd "$prefix" && rm -f qemu-user_*.deb &&
    apt-get "${apt_options[@]}" -q download "qemu-user/$codename-backports" >&2)
  dpkg-deb -x "$prefix"/qemu-user_*.deb "$prefix/unpacked"
  mkdir -p "$prefix/usr/bin"
  mv "$prefix/unpacked/usr/bin/qemu-i386" "$qemu"
  rm -rf "$prefix/unpacked" "$prefix"/qemu-user_*.deb
fi
# binfmt_misc runs it for processes that may see another root or libraries:
# it must not depend on any.
if readelf -l "$qemu" | grep -q 'program interpreter'; then
  echo "$qemu is not a static program" >&2
  exit 1
fi
echo "$qemu"
