#!/usr/bin/env bash
# The Python package as its users get it: installed with the C interface
# library by `cmake --install`, and by pip from python/ into a virtual
# environment (Debian's setuptools, no package index); its test suite runs
# against each with Debian's interpreter. The suite itself, with the
# comparisons against the C++ library and framegrab, runs in the build's
# ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh python3-numpy python3-pytest python3-setuptools python3-wheel python3-pip \
  python3-venv
# Another python3 without numpy may come first on PATH.
python=/usr/bin/python3
jobs=${JOBS:-2}

# The release build that test-package.sh makes (PYTHON_BUILD_DIR picks another).
build=${PYTHON_BUILD_DIR:-build-release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$jobs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null

echo "== the package installed by cmake --install =="
package=$(dirname "$(find "$work/prefix" -name __init__.py -path '*/ueye_grabber/*')")
(cd "$work" && env -u UEYE_GRABBER_LIBRARY PYTHONPATH="$(dirname "$package")" PYTHONDONTWRITEBYTECODE=1 \
  "$python" -m pytest -q -p no:cacheprovider "$OLDPWD/python/tests")

echo "== the package installed by pip =="
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install -q --no-build-isolation --no-index ./python
rm -rf python/build python/*.egg-info
library=$(find "$work/prefix" -name 'libueye_grabber_c.so.1' | head -n 1)
(cd "$work" && UEYE_GRABBER_LIBRARY=$library PYTHONDONTWRITEBYTECODE=1 \
  "$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$OLDPWD/python/tests")
# The venv's own copy, not one the Debian package may have installed.
case $("$work/venv/bin/python" -c 'import ueye_grabber; print(ueye_grabber.__file__)') in
  "$work/venv/"*) ;;
  *) echo "pip did not install the package into the environment"; exit 1 ;;
esac
echo "Python package checks passed."
