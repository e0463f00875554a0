#!/usr/bin/env bash
# Installs what the benchmark needs, installs the package from a freshly
# built tarball into a temporary library and runs bench/bench.R. Every file
# it makes lies in one temporary folder, removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash tools/deps.sh
if ! dpkg-query -W -f='${Status}' r-cran-ncdf4 2>/dev/null | grep -q 'install ok installed'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: r-cran-ncdf4"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends r-cran-ncdf4
fi
work=$(mktemp -d /tmp/hestor-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
echo "== Building and installing the package"
(cd "$work" && R CMD build --no-build-vignettes "$root" >build.log 2>&1) || { cat "$work/build.log"; exit 1; }
mkdir -p "$work/lib"
MAKEFLAGS="-j$(nproc)" R CMD INSTALL --no-multiarch --library="$work/lib" "$work"/HestorTools_*.tar.gz \
  >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
echo "== Benchmark"
R_LIBS="$work/lib" TMPDIR="$work" Rscript bench/bench.R
