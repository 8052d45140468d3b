#!/bin/sh
# Installs the package with pip into a new virtual environment, from a copy of the source
# tree (so the build leaves nothing in the real one), then imports it there and round-trips
# an archive. Usage: pip_install.sh PYTHON SOURCE_DIR WORK_DIR. Exit 77 (skipped) when the
# interpreter cannot make virtual environments.
set -eu
python=$1
source=$2
work=$3

if ! "$python" -c "import venv, ensurepip" >/dev/null 2>&1; then
  echo "SKIPPED: $python cannot create virtual environments (install python3-venv); pip install not tested" >&2
  exit 77
fi

rm -rf "$work"
mkdir -p "$work/src"
for item in CMakeLists.txt cmake include src python setup.py pyproject.toml README.md; do
  cp -R "$source/$item" "$work/src/"
done
rm -rf "$work/src/python/"*.egg-info

"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --no-build-isolation --no-index --no-deps -q "$work/src"

cd "$work"
"$work/venv/bin/python" - "$work/venv" <<'PY'
import os, sys
import mytarvo
venv = os.path.realpath(sys.argv[1])
assert os.path.realpath(mytarvo.__file__).startswith(venv), mytarvo.__file__
package = os.path.dirname(mytarvo.__file__)
for shipped in ("py.typed", "_core.pyi"):
    assert os.path.exists(os.path.join(package, shipped)), shipped
with mytarvo.PakFile("check.pak", "w") as pak:
    pak.writestr("a.txt", b"installed " * 100)
with mytarvo.PakFile("check.pak") as pak:
    assert pak.read("a.txt") == b"installed " * 100
    assert pak.infolist()[0].is_packed
print("pip install: mytarvo imports and works from", package)
PY
