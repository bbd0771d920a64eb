#!/bin/sh
# Installs the Debian packages the build, the tests and the benchmarks need, running apt-get only
# when one of them is missing. "sh scripts/deps.sh examples" adds what the examples need beyond
# them: gmsh, which meshes the three-dimensional channel of examples/cylinder3d.py, and its
# Python module.
set -e
# clang builds the sanitize-clang preset; libclang-rt-14-dev holds its sanitizer runtimes; pkg-config
# finds Tcl; libomp-14-dev is clang's OpenMP runtime; python3 runs the mesh generator of
# examples/cylinder.py and examples/report.py (the standard library only).
PKGS="cmake ninja-build g++ python3 clang libclang-rt-14-dev libomp-14-dev libgtest-dev libgmock-dev libbenchmark-dev libeigen3-dev libmuparser-dev tcl-dev pkg-config"
case "$*" in
  "") ;;
  examples) PKGS="$PKGS gmsh python3-gmsh" ;;
  *) echo "Use: sh scripts/deps.sh [examples]" >&2; exit 2 ;;
esac
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update
$SUDO apt-get install -y $missing
